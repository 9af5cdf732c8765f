# Bash completion for vorlen, vorlenctl and fbwfsim.

# The volumes of the stand-in's state folder (C: and D: before its first
# use), in the case the word being completed starts with.
_fbwfsim_volumes() {
  local cur=$1 dir letters="" volume
  if [ -n "${FBWFSIM_DIR:-}" ]; then
    dir=$FBWFSIM_DIR
  elif [[ ${XDG_STATE_HOME:-} == /* ]]; then
    dir=$XDG_STATE_HOME/fbwfsim
  else
    dir=${HOME:-}/.local/state/fbwfsim
  fi
  for volume in "$dir"/volumes/[A-Z]; do
    [ -d "$volume" ] && letters+="${volume##*/}: "
  done
  [ -n "$letters" ] || letters="C: D: "
  [[ $cur == [a-z]* ]] && letters=${letters,,}
  printf '%s' "$letters"
}

_vorlen() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  if [ "$COMP_CWORD" -eq 1 ]; then
    local options="-enable -disable -enablecompression -disablecompression -enablecache
      -disablecache -protectvolume -unprotectvolume -fbwfstate -fbwfcompression -fbwfprealloc
      -volumestatus -setcache -addex -remex -commit -restore -help"
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
  elif [ "$COMP_CWORD" -eq 2 ]; then
    case ${COMP_WORDS[1]} in
      -protectvolume|-unprotectvolume|-volumestatus|-addex|-remex|-commit|-restore)
        mapfile -t COMPREPLY < <(compgen -W "$(_fbwfsim_volumes "$cur")" -- "$cur") ;;
    esac
  fi
}

_fbwfsim() {
  local cur=${COMP_WORDS[COMP_CWORD]} words=""
  if [ "$COMP_CWORD" -eq 1 ]; then
    words="reset reboot show overlay ls write read fail calls codes --version --help"
  elif [ "$COMP_CWORD" -eq 2 ]; then
    case ${COMP_WORDS[1]} in
      ls|write|read|overlay) words=$(_fbwfsim_volumes "$cur") ;;
      reset) words="--release --capacity --size-display" ;;
      show) words="--json" ;;
      calls) words="--failed --clear" ;;
      codes) words="1 2 5 6 8 15 18 19 87 112 123 126 127 234 1392 1460" ;;
      fail)
        words="--clear FbwfEnableFilter FbwfDisableFilter FbwfEnableCompression
          FbwfDisableCompression FbwfEnableCachePreAllocation FbwfDisableCachePreAllocation
          FbwfIsFilterEnabled FbwfIsCompressionEnabled FbwfIsCachePreAllocationEnabled
          FbwfIsVolumeProtected FbwfProtectVolume FbwfUnprotectVolume FbwfSetCacheThreshold
          FbwfAddExclusion FbwfRemoveExclusion FbwfCommitFile FbwfRestoreFile FbwfGetVolumeList
          FbwfGetExclusionList FbwfGetMemoryUsage FbwfCacheThresholdNotification
          FbwfInitializeNotifications FbwfUninitializeNotifications FbwfFindFirst FbwfFindNext
          FbwfFindClose FbwfGetSizeDisplay FbwfSetSizeDisplay FbwfGetActualSize FbwfGetVirtualSize" ;;
    esac
  elif [ "${COMP_WORDS[1]}" = reset ] && [ $((COMP_CWORD % 2)) -eq 1 ]; then
    case ${COMP_WORDS[COMP_CWORD - 1]} in
      --release) words="xpe wes2009 wes7-x86 wes7-x64 we8-x86 we8-x64" ;;
      --size-display) words="actual virtual" ;;
      --capacity) words="C: D:" ;;
    esac
  elif [ "${COMP_WORDS[1]}" = reset ]; then
    words="--release --capacity --size-display"
  fi
  mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}

_vorlenctl() {
  local cur=${COMP_WORDS[COMP_CWORD]} words=""
  if [ "$COMP_CWORD" -eq 1 ]; then
    words="get test set overlay check metrics guard servicing commit --version --help"
  else
    case ${COMP_WORDS[1]} in
      test)
        [[ $cur == -* ]] && words="--detect" || { mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return; } ;;
      set)
        if [[ $cur == -* ]] || [ "$COMP_CWORD" -gt 2 ]; then
          words="--check --exit-reboot --servicing --servicing-file"
        else
          mapfile -t COMPREPLY < <(compgen -f -- "$cur")
          return
        fi ;;
      overlay) words="--top --json" ;;
      get) words="--guard-history --servicing-file" ;;
      check)
        words="--warning --critical --timeout --allow-off --reboot-pending --guard-history --servicing-file"
        words+=" --servicing-limit --version --help" ;;
      servicing) words="start step end --servicing-file" ;;
      metrics) words="--textfile --guard-history" ;;
      guard)
        words="--warning --critical --hysteresis --interval --history --on-warning --on-critical --on-normal"
        words+=" --command-timeout --textfile --install --uninstall" ;;
    esac
  fi
  mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}

complete -F _vorlen vorlen
complete -F _vorlenctl vorlenctl
complete -F _fbwfsim fbwfsim
