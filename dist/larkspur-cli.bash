# bash completion for larkspur-cli                          -*- shell-script -*-
# Keep the commands, options and value lists in step with larkspur-cli --help:
# a test compares what this offers with the usage text.

# Saved project names starting with $3, from larkspur-cli $1 reading the
# working directory $2 (or the stored one). Names may hold spaces and shell
# characters: they are matched as plain text and offered quoted, never
# expanded.
_larkspur_cli_project_names()
{
    local cli=$1 workdir=$2 prefix=$3 name
    local -a args=(projects)
    [[ -n $workdir ]] && args+=(--working-dir "$workdir")
    prefix=${prefix//\\/}
    prefix=${prefix#[\"\']}
    COMPREPLY=()
    while IFS=$'\t' read -r name _; do
        [[ -n $name && $name == "$prefix"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
    done < <("$cli" "${args[@]}" 2>/dev/null </dev/null)
}

_larkspur_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    local commands='stats xml txt csv csv2xml check projects working-dir'
    local project_commands='add remove set show'
    local value_options='--url -u --priority --changefreq --output -o --project -p --path --working-dir --jobs --protocol --exclude --extensions --url-style --lastmod --robots-agent --sitemap --format --newline'
    local sitemap_options='--protocol --exclude --extensions --url-style --omit-hints --no-omit-hints --lastmod
        --respect-robots --no-respect-robots --robots-agent --canonical-only --no-canonical-only --robots-txt --no-robots-txt
        --gzip --no-gzip --newline'
    local priorities='0.0 0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1.0'
    local frequencies='always hourly daily weekly monthly yearly never'

    # The command, the projects command, how many plain words follow them,
    # the working directory given on the line and whether a saved project
    # stands for the site folder.
    local command='' sub='' operands=0 workdir='' project='' word i
    for ((i = 1; i < cword; i++)); do
        word=${words[i]}
        case $word in
            --working-dir=*) workdir=${word#*=} ;;
            --working-dir) workdir=${words[i + 1]-}; ((i++)) ;;
            --project | --project=* | -p*) project=yes; [[ $word == *=* || $word == -p?* ]] || ((i++)) ;;
            --*=*) ;;
            --)  ;;
            -*) [[ " $value_options " == *" $word "* ]] && ((i++)) ;;
            *)
                if [[ -z $command ]]; then
                    command=$word
                elif [[ $command == projects && -z $sub ]]; then
                    sub=$word
                else
                    ((operands++))
                fi
                ;;
        esac
    done
    [[ $workdir == \~* ]] && __expand_tilde_by_ref workdir
    local cli=${words[0]}
    __expand_tilde_by_ref cli

    case $prev in
        --priority)
            COMPREPLY=($(compgen -W "$priorities" -- "$cur"))
            return
            ;;
        --changefreq)
            COMPREPLY=($(compgen -W "$frequencies" -- "$cur"))
            return
            ;;
        --project | -p)
            _larkspur_cli_project_names "$cli" "$workdir" "$cur"
            return
            ;;
        --path | --working-dir)
            _filedir -d
            return
            ;;
        --output | -o)
            _filedir
            [[ - == "$cur"* ]] && COMPREPLY+=(-)
            return
            ;;
        --sitemap)
            _filedir
            return
            ;;
        --format)
            COMPREPLY=($(compgen -W 'text tsv' -- "$cur"))
            return
            ;;
        --protocol)
            COMPREPLY=($(compgen -W '0.84 0.9' -- "$cur"))
            return
            ;;
        --url-style)
            COMPREPLY=($(compgen -W 'file folder clean' -- "$cur"))
            return
            ;;
        --lastmod)
            COMPREPLY=($(compgen -W 'mtime git none' -- "$cur"))
            return
            ;;
        --newline)
            COMPREPLY=($(compgen -W 'crlf lf' -- "$cur"))
            return
            ;;
        --url | -u | --exclude | --extensions | --robots-agent | --jobs)
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        local options='--working-dir --quiet --help --version'
        case $command in
            xml | txt | csv) options+=" --url --priority --changefreq --output --project --jobs $sitemap_options" ;;
            csv2xml) options+=' --url --protocol --gzip --no-gzip --newline --project' ;;
            stats) options+=' --extensions --jobs' ;;
            check) options+=" --url --sitemap --format --project $sitemap_options" ;;
            projects) [[ $sub == add || $sub == set ]] && options+=" --path --url --priority --changefreq $sitemap_options" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    case $command in
        '')
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            ;;
        stats | xml | txt | csv | check)
            ((operands == 0)) && [[ -z $project ]] && _filedir -d
            ;;
        csv2xml)
            ((operands == 0)) && _filedir csv
            ;;
        working-dir)
            ((operands == 0)) && _filedir -d
            ;;
        projects)
            if [[ -z $sub ]]; then
                COMPREPLY=($(compgen -W "$project_commands" -- "$cur"))
            elif [[ $sub != add ]] && ((operands == 0)); then
                # Every projects command but add names a saved project.
                _larkspur_cli_project_names "$cli" "$workdir" "$cur"
            fi
            ;;
    esac
} &&
    complete -F _larkspur_cli larkspur-cli

# ex: filetype=sh
