#!/usr/bin/perl
# make-xmltv.pl [CHANNELS] [DAYS] [FIRST-DAY] > listings.xml
# Writes XMLTV listings the size real grabbers write for a country: CHANNELS channels (300)
# over DAYS days (7) from FIRST-DAY (YYYYMMDD, 20261208), programmes of 15 to 90 minutes
# with the elements a grabber writes (titles in two languages, sub-titles, descriptions,
# credits, categories, ratings, episode numbers). The output is the same on every run.
use strict;
use warnings;

my ($channels, $days, $first) = @ARGV;
$channels //= 300;
$days //= 7;
$first //= '20261208';
my ($y, $m, $d) = $first =~ /^(\d{4})(\d\d)(\d\d)$/ or die "FIRST-DAY is YYYYMMDD\n";

# A fixed pseudo-random sequence, so every run writes the same file.
my $seed = 12345;
sub rnd { $seed = ($seed * 1103515245 + 12345) % 2147483648; return $seed % $_[0]; }

my @words = qw(miłość wojna serce miasto noc dzień wielki mały ostatni pierwszy tajemnica
  podróż dom rodzina życie śmierć król królowa żółw źródło ćma gęś łąka północ południe
  detektyw szpital policja szkoła kuchnia ogród wyścig mecz finał wiadomości pogoda);
sub words { my $n = shift; return join ' ', map { $words[rnd(scalar @words)] } 1 .. $n; }

my @cumulative = (0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334);
sub epoch {    # days since 1970-01-01 of a date
  my ($yy, $mm, $dd) = @_;
  my $leap = ($yy % 4 == 0 && ($yy % 100 != 0 || $yy % 400 == 0)) && $mm > 2 ? 1 : 0;
  my $days = ($yy - 1970) * 365 + int(($yy - 1969) / 4) - int(($yy - 1901) / 100) + int(($yy - 1601) / 400);
  return $days + $cumulative[$mm - 1] + $leap + $dd - 1;
}
sub stamp {    # XMLTV time of minutes since the epoch, in +0100
  my $t = shift() + 60;
  my $days = int($t / 1440);
  my $min = $t % 1440;
  my $yy = 1970;
  while (1) {
    my $len = ($yy % 4 == 0 && ($yy % 100 != 0 || $yy % 400 == 0)) ? 366 : 365;
    last if $days < $len;
    $days -= $len;
    $yy++;
  }
  my $mm = 12;
  $mm-- while epoch($yy, $mm, 1) - epoch($yy, 1, 1) > $days;
  my $dd = $days - (epoch($yy, $mm, 1) - epoch($yy, 1, 1)) + 1;
  return sprintf('%04d%02d%02d%02d%02d00 +0100', $yy, $mm, $dd, int($min / 60), $min % 60);
}

binmode STDOUT, ':raw';
print qq{<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE tv SYSTEM "xmltv.dtd">\n};
print qq{<tv source-info-name="make-xmltv.pl" generator-info-name="ekranik bench">\n};
for my $c (1 .. $channels) {
  print qq{  <channel id="kanal$c.pl">\n    <display-name lang="pl">Kanał $c</display-name>\n},
    qq{    <display-name lang="en">Channel $c</display-name>\n    <url>https://example.com/$c</url>\n  </channel>\n};
}
my $start = (epoch($y, $m, $d)) * 1440 - 60;    # local midnight in +0100
for my $c (1 .. $channels) {
  my $t = $start;
  my $n = 0;
  while ($t < $start + $days * 1440) {
    my $len = 15 + 5 * rnd(16);
    my $title = words(1 + rnd(4));
    $n++;
    print qq{  <programme start="}, stamp($t), qq{" stop="}, stamp($t + $len), qq{" channel="kanal$c.pl">\n},
      qq{    <title lang="pl">\u$title</title>\n    <title lang="en">Title $n</title>\n},
      qq{    <sub-title lang="pl">}, words(3), qq{</sub-title>\n},
      qq{    <desc lang="pl">}, words(14 + rnd(18)), qq{ &amp; }, words(5), qq{.</desc>\n},
      qq{    <credits>\n      <director>}, words(2), qq{</director>\n      <actor>}, words(2),
      qq{</actor>\n    </credits>\n    <date>2019</date>\n},
      qq{    <category lang="pl">}, words(1), qq{</category>\n},
      qq{    <episode-num system="xmltv_ns">0.}, $n % 20, qq{.</episode-num>\n},
      qq{    <star-rating>\n      <value>}, rnd(6), qq{/5</value>\n    </star-rating>\n  </programme>\n};
    $t += $len;
  }
}
print "</tv>\n";
