# bash completion for the Nimbra desktop's programs, read from their own --help: the
# subcommands and options of the command typed so far, else file names.
_nimbra_complete() {
  local cur=${COMP_WORDS[COMP_CWORD]} words=() i help
  for ((i = 1; i < COMP_CWORD; i++)); do
    [[ ${COMP_WORDS[i]} == -* ]] && break
    words+=("${COMP_WORDS[i]}")
  done
  help=$("${COMP_WORDS[0]}" "${words[@]}" --help 2>/dev/null) ||
    help=$("${COMP_WORDS[0]}" --help 2>/dev/null)
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$(grep -oE -- '--?[A-Za-z][-A-Za-z0-9]*' <<<"$help" | sort -u)" \
      -- "$cur"))
  else
    COMPREPLY=($(compgen -W "$(sed -n '/^Subcommands:/,/^$/p' <<<"$help" |
      awk 'NR > 1 && NF { print $1 }')" -- "$cur") $(compgen -f -- "$cur"))
  fi
}
complete -F _nimbra_complete hotsync nbreg valtrix aprgen bmpgen demodesk enginestandin pdagen
