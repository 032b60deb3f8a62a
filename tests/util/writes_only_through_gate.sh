#!/usr/bin/env bash
# Every write of the program goes through the write gate (src/util/write_gate.cpp): no other
# source file opens a file for writing, creates, renames, links or removes a name by itself.
# Usage: writes_only_through_gate.sh <source folder>
set -euo pipefail
src="$1"
found=$(find "$src" -name '*.cpp' -o -name '*.h' | grep -v '/util/write_gate\.cpp$' | sort |
  xargs perl -0777 -ne '
    my $file = $ARGV;
    s{/\*.*?\*/}{}gs;  # comments may name the calls they explain
    s{//[^\n]*}{}g;
    # Calls that change names on disk, whatever their arguments.
    while (/(?<![\w.>])(?:::)?(rename|renameat2?|unlink|unlinkat|rmdir|mkdir|mkdirat|link|linkat|symlink|symlinkat|truncate|creat|mkstemp|mkdtemp|fopen)\s*\(/g) {
      print "$file: $1(\n";
    }
    # Library calls that write files behind our back.
    while (/(QSaveFile|QFile::remove|QFile::rename|QFile::copy|mkpath|removeRecursively|ofstream|std::filesystem::(?:remove|rename|create_director|copy))/g) {
      print "$file: $1\n";
    }
    # open and openat with a flag that writes or creates (the arguments may span lines).
    while (/(?<![\w.>])(?:::)?(open|openat|open64)\s*\(([^;]*?)\)\s*[;)]/gs) {
      my ($call, $args) = ($1, $2);
      next if $args =~ m{"/dev/null"};  # a started program'"'"'s standard streams
      print "$file: $call(... $1 ...)\n" if $args =~ /\b(O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|O_APPEND|O_TMPFILE)\b/;
    }
  ')
if [[ -n "$found" ]]; then
  echo "Writes outside the write gate:"
  echo "$found"
  exit 1
fi
echo "Every write goes through src/util/write_gate.cpp"
