# Bash completion for vorlen and fbwfsim.

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
        mapfile -t COMPREPLY < <(compgen -W "C: D:" -- "$cur") ;;
    esac
  fi
}

_fbwfsim() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  if [ "$COMP_CWORD" -eq 1 ]; then
    mapfile -t COMPREPLY < <(compgen -W "reboot show write read fail --help" -- "$cur")
  elif [ "$COMP_CWORD" -eq 2 ]; then
    case ${COMP_WORDS[1]} in
      write|read) mapfile -t COMPREPLY < <(compgen -W "C: D:" -- "$cur") ;;
      fail)
        local functions="FbwfEnableFilter FbwfDisableFilter FbwfEnableCompression
          FbwfDisableCompression FbwfEnableCachePreAllocation FbwfDisableCachePreAllocation
          FbwfIsFilterEnabled FbwfIsCompressionEnabled FbwfIsCachePreAllocationEnabled
          FbwfIsVolumeProtected FbwfProtectVolume FbwfUnprotectVolume FbwfSetCacheThreshold
          FbwfAddExclusion FbwfRemoveExclusion FbwfCommitFile FbwfRestoreFile"
        mapfile -t COMPREPLY < <(compgen -W "$functions" -- "$cur") ;;
    esac
  fi
}

complete -F _vorlen vorlen
complete -F _fbwfsim fbwfsim
