# The libFuzzer harnesses of every reader of outside input (fuzz/, a clang build of its own in
# build-fuzz/). `make fuzz` builds them; `make fuzz-smoke` also replays each seed corpus and
# fuzzes each harness for FUZZ_SECONDS with its dictionary, FUZZ_JOBS at a time, failing on any
# finding. Longer runs by hand, e.g.
#   TMPDIR=/dev/shm build-fuzz/fuzz/fuzz_read_xmltv -dict=fuzz/read_xmltv.dict -max_total_time=600 \
#     -artifact_prefix=/tmp/crashes/ /tmp/corpus fuzz/corpus/read_xmltv
FUZZ_BUILD := build-fuzz
FUZZ_NAMES := parse_page strip_tags read_xmltv station_map portal_answer station_list \
  checked_states parse_url gunzip xml_scanner portal_channels
FUZZ_SECONDS ?= 30
FUZZ_JOBS ?= 2

SHELL_SCRIPTS += fuzz/smoke.sh

.PHONY: fuzz fuzz-smoke
fuzz:
	@./scripts/install-deps.sh fuzz
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DEKRANIK_FUZZ=ON -DEKRANIK_WERROR=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_NAMES))

fuzz-smoke: fuzz
	@fuzz/smoke.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_JOBS) $(FUZZ_NAMES)
