# fish completion for kestrava-cli: commands, options, and the values of --view and --color.

set -l commands find replace script undo
complete -c kestrava-cli -f

complete -c kestrava-cli -n "not __fish_seen_subcommand_from $commands" -a find -d 'List the matches'
complete -c kestrava-cli -n "not __fish_seen_subcommand_from $commands" -a replace -d 'Replace the matches'
complete -c kestrava-cli -n "not __fish_seen_subcommand_from $commands" -a script -d 'Run a .ksc script file'
complete -c kestrava-cli -n "not __fish_seen_subcommand_from $commands" -a undo -d 'Put back what a replace changed'
complete -c kestrava-cli -s h -l help -d 'Print the help and exit'
complete -c kestrava-cli -l version -d 'Print the version and exit'

# Criteria of find and replace.
set -l criteria "__fish_seen_subcommand_from find replace"
complete -c kestrava-cli -n $criteria -s d -l folders -x -a '(__fish_complete_directories)' -d 'Folders to search'
complete -c kestrava-cli -n $criteria -s f -l files -x -d 'File masks'
complete -c kestrava-cli -n $criteria -s g -l glob -x -d 'Add a file name mask, or leave files out with !'
complete -c kestrava-cli -n "__fish_seen_subcommand_from find" -s m -l max-count -x -d 'At most N matched lines of each file'
complete -c kestrava-cli -n $criteria -s e -l find -x -d 'The regular expression'
complete -c kestrava-cli -n $criteria -l regexp -x -d 'The regular expression'
complete -c kestrava-cli -n "__fish_seen_subcommand_from replace" -s r -l replace -x -d 'The replacement template'
complete -c kestrava-cli -n "__fish_seen_subcommand_from replace" -l interactive -d 'Ask for each change'

set -l writing "__fish_seen_subcommand_from replace script"
complete -c kestrava-cli -n $writing -l in-situ -d 'Replace in the files themselves'
complete -c kestrava-cli -n $writing -l yes -d 'Replace without asking'
complete -c kestrava-cli -n $writing -l preview -d 'Print the changes as a unified diff, write nothing'
complete -c kestrava-cli -n $writing -l no-undo -d 'Keep no undo journal'

set -l undoing "__fish_seen_subcommand_from undo"
complete -c kestrava-cli -n $undoing -l list -d 'List the kept runs'
complete -c kestrava-cli -n $undoing -l force -d 'Put back also files changed since'
complete -c kestrava-cli -n $undoing -l yes -d 'Undo without asking'

set -l scripting "__fish_seen_subcommand_from script"
complete -c kestrava-cli -n $scripting -l root-folder -x -a '(__fish_complete_directories)' -d 'Text that replaces {RootFolder}'
complete -c kestrava-cli -n $scripting -k -a '(__fish_complete_suffix .ksc)'

# Shared by the three searching commands.
set -l any "__fish_seen_subcommand_from find replace script"
complete -c kestrava-cli -n $any -l view -x -a 'lines matches unique unique-sorted' -d 'What is listed'
complete -c kestrava-cli -n $any -s s -l case-sensitive -d 'Match letter case exactly'
complete -c kestrava-cli -n $any -s i -l ignore-case -d 'Ignore letter case (the default)'
complete -c kestrava-cli -n $any -s S -l smart-case -d 'Exact case when a pattern has an upper-case letter'
complete -c kestrava-cli -n $any -s F -l fixed-strings -d 'Patterns are plain text'
complete -c kestrava-cli -n $any -s w -l word-regexp -d 'Match whole words only'
complete -c kestrava-cli -n $any -s x -l line-regexp -d 'Match whole lines only'
complete -c kestrava-cli -n $any -s l -l files-with-matches -d 'Print the paths of files with a match'
complete -c kestrava-cli -n $any -l filenames-only -d 'List the files only'
complete -c kestrava-cli -n $any -s c -l count -d 'Print path:N for each file with a match'
complete -c kestrava-cli -n $any -s 0 -l null -d 'End each path with a NUL byte'
complete -c kestrava-cli -n $any -l hidden -d 'Search names beginning with a dot too'
complete -c kestrava-cli -n $any -l vimgrep -d 'Print path:line:column:text for each match'
complete -c kestrava-cli -n $any -s H -l no-heading -d 'Print path:line:text for each matched line'
complete -c kestrava-cli -n $any -s o -l only-matching -d 'Print each match alone'
complete -c kestrava-cli -n $any -l max-depth -x -d 'Walk at most N folder levels'
complete -c kestrava-cli -n $any -l colour -x -a 'auto always never' -d 'Colour the output'
complete -c kestrava-cli -n $any -l no-header -d 'Leave out the criteria lines'
complete -c kestrava-cli -n $any -s n -l line-number -d 'Begin each row with its line number'
complete -c kestrava-cli -n $any -s A -l after-context -x -d 'Lines after each matched line'
complete -c kestrava-cli -n $any -s B -l before-context -x -d 'Lines before each matched line'
complete -c kestrava-cli -n $any -s C -l context -x -d 'Lines before and after'
complete -c kestrava-cli -n $any -l skip-binary -d 'Leave out files with a NUL byte early on'
complete -c kestrava-cli -n $any -l respect-gitignore -d 'Leave out what git ignores'
complete -c kestrava-cli -n $any -l rtf -d 'Print the rich-text document'
complete -c kestrava-cli -n $any -l json -d 'One JSON object per line'
complete -c kestrava-cli -n $any -l color -x -a 'auto always never' -d 'Colour the output'
complete -c kestrava-cli -n $any -s q -l quiet -d 'Print nothing; the exit status tells'
complete -c kestrava-cli -n $any -l threads -x -d 'Search on N threads'
complete -c kestrava-cli -n $any -l verbose -d 'Name the files of a stopped replace'
