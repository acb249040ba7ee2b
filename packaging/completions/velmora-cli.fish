# fish completion for velmora-cli

# Platform and mode names come from "velmora-cli list" (platform, mode, size, scale separated
# by tabs), so they always match the installed program.
function __velmora_cli_platforms
    velmora-cli list 2>/dev/null | string split -f1 \t | uniq
end

# The modes of the platform named by -p/--platform on the line, or every mode.
function __velmora_cli_modes
    set -l tokens (commandline -opc)
    set -l platform
    for i in (seq (count $tokens))
        if contains -- $tokens[$i] -p --platform; and test $i -lt (count $tokens)
            set platform $tokens[(math $i + 1)]
        else if string match -q -- '--platform=*' $tokens[$i]
            set platform (string replace -- '--platform=' '' $tokens[$i])
        end
    end
    velmora-cli list 2>/dev/null | while read -l line
        set -l fields (string split \t -- $line)
        if test -z "$platform"; or test "$fields[1]" = "$platform"
            echo $fields[2]\t$fields[1]
        end
    end
end

set -l commands list convert batch check probe import palette
complete -c velmora-cli -f
complete -c velmora-cli -s h -l help -d 'Print help and exit'
complete -c velmora-cli -n "not __fish_seen_subcommand_from $commands" -l version -d 'Print the version and exit'
complete -c velmora-cli -n "not __fish_seen_subcommand_from $commands" -a list -d 'List every platform and screen mode'
complete -c velmora-cli -n "not __fish_seen_subcommand_from $commands" -a convert -d 'Convert one picture or native file'
complete -c velmora-cli -n "not __fish_seen_subcommand_from $commands" -a batch -d 'Convert every picture of a folder'
complete -c velmora-cli -n "not __fish_seen_subcommand_from $commands" -a check -d 'Check a picture drawn for a mode against its colour rule'
complete -c velmora-cli -n "not __fish_seen_subcommand_from $commands" -a probe -d 'List the loaders that take a native file'
complete -c velmora-cli -n "not __fish_seen_subcommand_from $commands" -a import -d 'Decode a native file into a picture'
complete -c velmora-cli -n "not __fish_seen_subcommand_from $commands" -a palette -d 'Show a palette file, or convert it to JASC'

complete -c velmora-cli -n '__fish_seen_subcommand_from list' -l json -d 'Write the list as JSON'

# Options convert and batch share.
set -l conv '__fish_seen_subcommand_from convert batch'
complete -c velmora-cli -n $conv -s p -l platform -x -a '(__velmora_cli_platforms)' -d 'Target platform'
complete -c velmora-cli -n $conv -s m -l mode -x -a '(__velmora_cli_modes)' -d 'Screen mode'
complete -c velmora-cli -n $conv -s f -l format -x -a 'native bmp png gif' -d 'Output format'
complete -c velmora-cli -n $conv -l set -x -d 'Set an option field: FIELD=VALUE'
complete -c velmora-cli -n $conv -l palette -r -F -d 'Palette file for the "Palette" mode'
complete -c velmora-cli -n $conv -l force -d 'Replace existing files even when read-only'
complete -c velmora-cli -n $conv -l threads -x -d 'Worker threads'

complete -c velmora-cli -n '__fish_seen_subcommand_from convert' -F
set -l check '__fish_seen_subcommand_from check'
complete -c velmora-cli -n $check -s p -l platform -x -a '(__velmora_cli_platforms)' -d 'Target platform'
complete -c velmora-cli -n $check -s m -l mode -x -a '(__velmora_cli_modes)' -d 'Screen mode'
complete -c velmora-cli -n $check -l set -x -d 'Set an option field: FIELD=VALUE'
complete -c velmora-cli -n $check -F
complete -c velmora-cli -n '__fish_seen_subcommand_from convert' -s o -l output -r -F -d 'Name the written files are derived from'
complete -c velmora-cli -n '__fish_seen_subcommand_from convert' -l region -x -d 'Source region LEFT,TOP,RIGHT,BOTTOM'
complete -c velmora-cli -n '__fish_seen_subcommand_from convert' -l preview -r -F -d 'Also write the result picture'
complete -c velmora-cli -n '__fish_seen_subcommand_from convert' -l export -x -a 'c asm raw lz4 zx0 tap tap-show tap-giga dsk' -d 'Also export the native files'
complete -c velmora-cli -n '__fish_seen_subcommand_from convert' -l no-stability -d 'Animations: convert every cell of every frame afresh'
complete -c velmora-cli -n '__fish_seen_subcommand_from convert' -l stability-threshold -x -d 'Animations: largest change in a cell that keeps its result'
complete -c velmora-cli -n '__fish_seen_subcommand_from convert' -l palette-per-frame -d 'Animations: choose a palette per frame'

complete -c velmora-cli -n '__fish_seen_subcommand_from batch' -a '(__fish_complete_directories)'
complete -c velmora-cli -n '__fish_seen_subcommand_from batch' -l import -d 'Decode every file as a native screen into a picture'
complete -c velmora-cli -n '__fish_seen_subcommand_from batch' -l shard -x -d 'Convert only this part of the folder: PART/PARTS'

complete -c velmora-cli -n '__fish_seen_subcommand_from probe import palette' -F
complete -c velmora-cli -n '__fish_seen_subcommand_from import' -s o -l output -r -F -d 'Picture to write'
complete -c velmora-cli -n '__fish_seen_subcommand_from import' -l force -d 'Replace the picture even when read-only'
complete -c velmora-cli -n '__fish_seen_subcommand_from import' -l candidate -x -d 'Loader to use: the first column of probe'
complete -c velmora-cli -n '__fish_seen_subcommand_from import' -l palette-type -x -d 'Palette type offered by the loader'
complete -c velmora-cli -n '__fish_seen_subcommand_from import' -l calculation -x -a 'standard linear' -d 'Colour calculation'
complete -c velmora-cli -n '__fish_seen_subcommand_from palette' -s o -l output -r -F -d 'Write the palette as a JASC .pal file'
complete -c velmora-cli -n '__fish_seen_subcommand_from palette' -l force -d 'Replace the .pal file even when read-only'
