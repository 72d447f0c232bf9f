#!/usr/bin/perl
# bench/hostile-xmltv.pl KIND COUNT: writes to stdout an XMLTV file (one channel, one programme)
# made to cost a reader memory or time, for measuring the portal on it, e.g.
#   perl bench/hostile-xmltv.pl title 200000000 | gzip -1 >title.xml.gz
#   /usr/bin/time -v build/src/portal/ekranik-portal --listen 127.0.0.1:0 --xmltv title.xml.gz
# Written as it is made, never held whole. KIND and COUNT:
#   entities N       a 1 KiB entity declared in the internal subset, referenced N times in the title
#   depth N          N elements nested in <tv>
#   title BYTES      a title of that many bytes
#   cdata-title BYTES  the same in a CDATA section
#   attribute BYTES  an attribute value of that many bytes on the programme
#   attributes N     N attributes on the programme's start tag
use strict;
use warnings;

my ($kind, $count) = @ARGV;
die "usage: $0 entities|depth|title|cdata-title|attribute|attributes COUNT\n"
  unless defined $count && $count =~ /^\d+$/;
binmode STDOUT;

# $unit written $times times, in blocks of about 64 KiB.
sub repeat {
  my ($unit, $times) = @_;
  my $per = int(65536 / length($unit)) || 1;
  my $block = $unit x $per;
  while ($times >= $per) {
    print $block;
    $times -= $per;
  }
  print $unit x $times;
}

my $head = qq{<?xml version="1.0" encoding="UTF-8"?>\n};
my $channel = qq{<channel id="c"><display-name>Kanal</display-name></channel>\n};
my $start = qq{<programme start="20261208200000 +0100" channel="c"};
my $end = qq{</programme>\n</tv>\n};

if ($kind eq 'entities') {
  print $head, qq{<!DOCTYPE tv [<!ENTITY e "}, 'x' x 1024, qq{">]>\n<tv>\n}, $channel;
  print $start, '><title>';
  repeat('&e;', $count);
  print '</title>', $end;
} elsif ($kind eq 'depth') {
  print $head, "<tv>\n", $channel, $start, "><title>T</title>\n";
  repeat('<x>', $count);
  repeat('</x>', $count);
  print $end;
} elsif ($kind eq 'title' || $kind eq 'cdata-title') {
  my $cdata = $kind eq 'cdata-title';
  print $head, "<tv>\n", $channel, $start, '><title>', $cdata ? '<![CDATA[' : '';
  repeat('Tytul ', int($count / 6));
  print 'x' x ($count % 6), $cdata ? ']]>' : '', '</title>', $end;
} elsif ($kind eq 'attribute') {
  print $head, "<tv>\n", $channel, $start, ' x="';
  repeat('v', $count);
  print '"><title>T</title>', $end;
} elsif ($kind eq 'attributes') {
  print $head, "<tv>\n", $channel, $start;
  for (my $i = 0; $i < $count; $i += 4096) {
    my $last = $i + 4096 < $count ? $i + 4096 : $count;
    print join('', map { qq{ a$_=""} } $i .. $last - 1);
  }
  print '><title>T</title>', $end;
} else {
  die "$0: unknown kind \"$kind\"\n";
}
