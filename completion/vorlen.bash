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
  local cur=${COMP_WORDS[COMP_CWORD]} words=""
  if [ "$COMP_CWORD" -eq 1 ]; then
    words="reset reboot show ls write read fail codes --version --help"
  elif [ "$COMP_CWORD" -eq 2 ]; then
    case ${COMP_WORDS[1]} in
      ls|write|read) words="C: D:" ;;
      reset) words="--release" ;;
      show) words="--json" ;;
      codes) words="1 2 5 8 15 87 112 123 126 127 1392" ;;
      fail)
        words="--clear FbwfEnableFilter FbwfDisableFilter FbwfEnableCompression
          FbwfDisableCompression FbwfEnableCachePreAllocation FbwfDisableCachePreAllocation
          FbwfIsFilterEnabled FbwfIsCompressionEnabled FbwfIsCachePreAllocationEnabled
          FbwfIsVolumeProtected FbwfProtectVolume FbwfUnprotectVolume FbwfSetCacheThreshold
          FbwfAddExclusion FbwfRemoveExclusion FbwfCommitFile FbwfRestoreFile" ;;
    esac
  elif [ "$COMP_CWORD" -eq 3 ] && [ "${COMP_WORDS[1]} ${COMP_WORDS[2]}" = "reset --release" ]; then
    words="xpe wes2009 wes7-x86 wes7-x64 we8-x86 we8-x64"
  fi
  mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}

complete -F _vorlen vorlen
complete -F _fbwfsim fbwfsim
