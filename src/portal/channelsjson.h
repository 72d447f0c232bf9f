#pragma once

#include "portal/catalogue.h"
#include "portal/frontpage.h"
#include "portal/hostedtext.h"
#include "portal/sourceproblem.h"

#include <QDateTime>
#include <QList>

// /channels.json, for ekranik's channel picker (UTF-8 JSON):
//   {"state": "reading" | "ready" | "failed",
//    "problems": [{"source": NAME, "line": 12, "reason": SENTENCE}],
//    "channels": [{"id": ID, "names": [DISPLAY NAMES], "station": STATION LINE,
//                  "now": {"start": TIME, "title": TITLE} | null, "until": TIME | null}]}
// The state is "ready" with a catalogue, else "failed" when firstReadingFailed, else "reading".
// A problem has "line" only when it has one; its reason is in `language` (the front page's
// two), the rest the same in both. The channels come in the listings' order; the
// station line is the one the front page and /stations.txt give, naming the portal as a request
// does (HostedText::with). "now" is the programme on air at `now`; "until" the stop (else the
// start) of the channel's last programme. Times are ISO 8601 with the UTC offset of the
// portal's time zone.
HostedText channelsJson(const Catalogue* catalogue, bool firstReadingFailed,
                        const QList<SourceProblem>& problems, const QDateTime& now,
                        FrontLanguage language = FrontLanguage::Polish);
