#include <PellinAppleScript/ShellInvocation.h>

namespace applescript {

namespace {

// Run as `/bin/sh -c <this> sh <marker> <owner> <text>` with administrator rights, HOME the
// home of user <owner> and PATH the system folders only. Writes the start marker first when
// <marker> is not empty, then runs <text> in this same shell, where `rm` (and `sudo rm`, which
// would only run rm as root again) is the guarded removal below.
//
// Why it is safe against a user who changes their home meanwhile: each operand is removed from
// inside the folder that holds it, reached from the home one folder at a time. A folder is
// entered only when it is a folder of <owner>, not a link, and once entered it must still be
// the folder that was checked (same device and inode; a folder has one name only). The shell's
// working folder then holds that folder itself, whatever its name means by now, so rm resolves
// nothing but the last name, and GNU rm follows no link there or below it. A folder swapped for
// a link after the check can therefore not lead the removal anywhere else. Nothing here trusts
// a path that is resolved twice.
constexpr std::string_view kScript = R"SH([ -z "$1" ] || printf '\036'
pellin_owner=$2
pellin_text=$3
shift 3
unset CDPATH
pellin_home=$HOME
while [ "$pellin_home" != / ] && [ "${pellin_home%/}" != "$pellin_home" ]; do
  pellin_home=${pellin_home%/}
done

pellin_refuse() {
  printf 'rm: refusing to remove %s: %s\n' "$1" "$2" >&2
  return 1
}

# Type, owner, device and inode of "$1" itself, never of what a link names.
pellin_identity() {
  LC_ALL=C stat -c '%F:%u:%d:%i' -- "$1" 2>/dev/null
}

# An operand below a folder that does not exist: rm's own answer for a missing item.
pellin_missing() {
  set -f
  for pellin_option in $pellin_options; do
    case $pellin_option in --force|-f*|-[!-]*f*) return 0 ;; esac
  done
  printf "rm: cannot remove '%s': No such file or directory\n" "$1" >&2
  return 1
}

# Run in a subshell of its own: it changes the working folder.
pellin_remove_one() {
  pellin_path=$1
  if [ "$pellin_home" = / ]; then pellin_prefix=/; else pellin_prefix=$pellin_home/; fi
  case $pellin_path in
    "$pellin_prefix"?*) pellin_rest=${pellin_path#"$pellin_prefix"} ;;
    *) pellin_refuse "$pellin_path" "it is not inside the home folder $pellin_home"; return ;;
  esac
  cd -P -- "$pellin_home" 2>/dev/null || {
    pellin_refuse "$pellin_path" "the home folder $pellin_home cannot be entered"; return; }
  case $(pellin_identity .) in
    "directory:$pellin_owner:"*) ;;
    *) pellin_refuse "$pellin_path" "the home folder $pellin_home is not user $pellin_owner's"
       return ;;
  esac
  while :; do
    case $pellin_rest in
      */*) pellin_name=${pellin_rest%%/*}; pellin_rest=${pellin_rest#*/} ;;
      *) break ;;
    esac
    case $pellin_name in
      ''|.) continue ;;
      ..) pellin_refuse "$pellin_path" "it names a parent folder"; return ;;
    esac
    pellin_seen=$(pellin_identity "./$pellin_name")
    case $pellin_seen in
      '') pellin_missing "$pellin_path"; return ;;
      "directory:$pellin_owner:"*) ;;
      *) pellin_refuse "$pellin_path" "$pellin_name is a link, not a folder or not user $pellin_owner's"
         return ;;
    esac
    cd -P -- "./$pellin_name" 2>/dev/null && [ "$(pellin_identity .)" = "$pellin_seen" ] || {
      pellin_refuse "$pellin_path" "$pellin_name changed while it was checked"; return; }
  done
  case $pellin_rest in
    ''|.|..) pellin_refuse "$pellin_path" "it names no item in a folder"; return ;;
  esac
  set -f
  IFS=' '
  command rm $pellin_options -- "./$pellin_rest"
}

rm() {
  pellin_options=
  while [ $# -gt 0 ]; do
    case $1 in
      --) shift; break ;;
      -?*)
        case $1 in *[!A-Za-z-]*) printf 'rm: refusing the option %s\n' "$1" >&2; return 1 ;; esac
        pellin_options="$pellin_options $1"
        shift ;;
      *) break ;;
    esac
  done
  pellin_status=0
  for pellin_operand in "$@"; do
    (pellin_remove_one "$pellin_operand") || pellin_status=1
  done
  return $pellin_status
}

sudo() {
  if [ "${1-}" = rm ]; then
    shift
    rm "$@"
  else
    command sudo "$@"
  fi
}

eval "$pellin_text")SH";

}  // namespace

std::string_view elevatedShellScript() {
    return kScript;
}

}  // namespace applescript
