# bash completion for olstrin-cli: commands, options and their values, chip names (from
# `olstrin-cli chips` of the program being completed), devices and files.

# The names in the rows of `olstrin-cli chips`: index, name, ROM size, voltage, signature.
_olstrin_cli_chips() {
    "$1" chips 2>/dev/null |
        sed -nE 's/^ *[0-9]+  (.*[^ ]) +[0-9]+K +[0-9.]+V( +[0-9A-F]{2}){3}$/\1/p'
}

# The options of the program being completed, from the OPTIONS list of its --help: each
# spelling on a line, followed by " =" when it takes a value in the next word and by " [=" when
# it takes one only after '='.
_olstrin_cli_options() {
    "$1" --help 2>/dev/null | sed -nE '/^OPTIONS/,/^[A-Z]/{
        s/^    (-[a-z]), (--[a-z-]+)( [^ ]+)?  .*/\1\3\n\2\3/
        s/^    (--?[a-z-]+)(\[=[A-Z]+\])?( [^ ]+)?  .*/\1\2\3/
        /^-/!d
        s/ [^ ]+$/ =/
        s/\[=[A-Z]+\]$/ [=/
        p
    }'
}

# The command given so far among words[1..n-2] (empty for none) and whether its argument follows.
_olstrin_cli_command() {
    local i skip=0
    command='' argument=0
    for ((i = 1; i < ${#words[@]} - 1; i++)); do
        if ((skip)); then
            skip=0
        elif [[ $'\n'$options$'\n' == *$'\n'"${words[i]} ="$'\n'* ]]; then
            skip=1
        elif [[ ${words[i]} != -* ]]; then
            [[ -n $command ]] && argument=1 || command=${words[i]}
        fi
    done
}

_olstrin_cli() {
    # The words up to the cursor, split at blanks only (bash also splits at '=' and ':'); a
    # backslash keeps a blank inside the word, as in a typed file name.
    local line=${COMP_LINE:0:COMP_POINT} words
    # shellcheck disable=SC2162
    read -a words <<<"$line"
    [[ $line == *[[:blank:]] || ${#words[@]} -eq 0 ]] && words+=("")
    local word=${words[-1]} prev=
    ((${#words[@]} > 1)) && prev=${words[-2]}

    # --name=value completes the value; --simulate takes its model only in that form.
    local option=$prev prefix='' cur=$word
    if [[ $word == --*=* ]]; then
        option=${word%%=*}
        prefix=$option=
        cur=${word#*=}
    elif [[ $option == --simulate ]]; then
        option=
    fi

    local IFS=$'\n' candidates='' files='' command argument options
    options=$(_olstrin_cli_options "${words[0]}")
    if [[ -z $prefix && $cur == -* ]]; then
        # Each spelling, and "--name=" for a value given only after '='.
        candidates=$(sed -E 's/ =$//; s/^(.*) \[=$/\1\n\1=/' <<<"$options" | LC_ALL=C sort)
    elif [[ -n $prefix || $'\n'$options$'\n' == *$'\n'"$option ="$'\n'* ]]; then
        case $option in
            --type) candidates=$'0\n1\n2\n3\n4' ;;
            --port) candidates=$'1\n2\n3\n4' ;;
            --baud) candidates=$'9600\n19200\n28800\n57600' ;;
            --speed) candidates=$'0\n1\n2' ;;
            --lock) candidates=$'1\n2\n3' ;;
            --lang) candidates=$'zh\nen' ;;
            --format) candidates=$'hex\nbin' ;;
            --simulate) candidates=$'at89s51\nat89s52' ;;
            --chip) candidates=$(_olstrin_cli_chips "${words[0]}") ;;
            --lpt) candidates=$(printf '%s\n' sim sim:at89s51 sim:at89s52 io:0x378 /dev/parport* \
                gpio:/dev/gpiochip*) ;;
            --com) candidates=$(printf '%s\n' sim /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*) ;;
            --isp) candidates=$(printf '%s\n' arduino:sim arduino:sim:at89s51 arduino:sim:at89s52 \
                usbasp arduino:/dev/ttyACM* arduino:/dev/ttyUSB*) ;;
            --sim-image | --serial-file | --project | --log) files=-f ;;
            --settings) files=-d ;;
        esac
    else
        _olstrin_cli_command
        if [[ -z $command ]]; then
            candidates=$'chips
settings
ports
detect
erase
write
read
blank
verify
lock
auto'
        elif ((!argument)); then
            case $command in
                lock) candidates=$'1\n2\n3' ;;
                write | read | verify | auto) files=-f ;;
            esac
        fi
    fi

    if [[ -n $files ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen "$files" -- "$cur")
    else
        # A glob that matched no device stays as it is; it is no candidate.
        mapfile -t COMPREPLY < <(compgen -W "$candidates" -- "$cur" | grep -v '\*$')
        [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
    fi
    # bash replaces only the part of the word after its last '=' or ':' that breaks words.
    local head='' i c
    for ((i = ${#word} - 1; i >= 0; i--)); do
        c=${word:i:1}
        if [[ ($c == = || $c == :) && $COMP_WORDBREAKS == *"$c"* ]]; then
            head=${word:0:i+1}
            break
        fi
    done
    for i in "${!COMPREPLY[@]}"; do
        c=$prefix${COMPREPLY[i]}
        c=${c#"$head"}
        [[ -n $files ]] || printf -v c '%q' "$c"
        COMPREPLY[i]=$c
    done
}

complete -F _olstrin_cli olstrin-cli
