#!/usr/bin/env bash
# write-station-list.sh HOST:PORT [POSITION...]
# Writes the default station list, its addresses on the listings portal at HOST:PORT, into
# programy.tv in the current folder, and the given 0-based positions as checked into
# programy_stan.tv, both in the program's own format (CR LF line ends).
set -eu
host=$1
shift
query() { printf '%s|http://%s/.?&T%%5Bstation%%5D=%s&T%%5Bcategory%%5D=ALL&T%%5Btime%%5D=0\r\n' "$1" "$host" "$2"; }
page() { printf '%s|http://%s/program.html?T%%5Bstation%%5D=%s\r\n' "$1" "$host" "$2"; }
{
  query discovery.tv 67; query polsat.tv 5; query tv4.tv 18; query tvn.tv 17
  query tvp1.tv 1; query tvp2.tv 2
  page mtv.deutsch.tv 219; page cartoon.network.tv 361; page tvn24.tv 151; page hbo.tv 14
  page hyper.tv 200; page animal.planet.tv 355; page canalplus.tv 13
} >programy.tv
: >programy_stan.tv
for position in "$@"; do
  printf '%s\r\n' "$position" >>programy_stan.tv
done
