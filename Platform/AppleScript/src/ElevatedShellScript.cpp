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
// entered only when it is not a link, and once entered it must be the folder of that name in
// the folder it lies in ("..", which never follows a link). Before the removal, one stat looks
// at the whole chain from where the shell then is: the home, and each folder up from it through
// "..": the topmost must be the home itself and every folder one of <owner>'s. A folder has one
// name only, so the shell's working folder is that folder itself, whatever its path means by
// now; rm resolves nothing but the last name, and GNU rm follows no link there or below it. A
// folder swapped for a link after a check can therefore not lead the removal anywhere else.
//
// Only shell builtins run per folder, so an operand costs one stat and its rm, whatever its depth.
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

# An operand below a folder that does not exist: rm's own answer for a missing item.
pellin_missing() {
  set -f
  for pellin_option in $pellin_options; do
    case $pellin_option in --force|-f*|-[!-]*f*) return 0 ;; esac
  done
  printf "rm: cannot remove '%s': No such file or directory\n" "$1" >&2
  return 1
}

# Run in a subshell of its own, which it ends as rm: it changes the working folder and the
# arguments.
pellin_remove_one() {
  pellin_path=$1
  shift
  if [ "$pellin_home" = / ]; then pellin_prefix=/; else pellin_prefix=$pellin_home/; fi
  case $pellin_path in
    "$pellin_prefix"?*) pellin_rest=${pellin_path#"$pellin_prefix"} ;;
    *) pellin_refuse "$pellin_path" "it is not inside the home folder $pellin_home"; return ;;
  esac
  cd -P -- "$pellin_home" 2>/dev/null || {
    pellin_refuse "$pellin_path" "the home folder $pellin_home cannot be entered"; return; }
  # The arguments become the names of the folders entered; pellin_up climbs back to the home.
  pellin_up=
  while :; do
    case $pellin_rest in
      */*) pellin_name=${pellin_rest%%/*}; pellin_rest=${pellin_rest#*/} ;;
      *) break ;;
    esac
    case $pellin_name in
      ''|.) continue ;;
      ..) pellin_refuse "$pellin_path" "it names a parent folder"; return ;;
    esac
    if [ -h "./$pellin_name" ] || { [ -e "./$pellin_name" ] && [ ! -d "./$pellin_name" ]; }; then
      pellin_refuse "$pellin_path" "$pellin_name is a link, not a folder or not user $pellin_owner's"
      return
    fi
    [ -d "./$pellin_name" ] || { pellin_missing "$pellin_path"; return; }
    cd -P -- "./$pellin_name" 2>/dev/null || {
      pellin_refuse "$pellin_path" "$pellin_name changed while it was checked"; return; }
    set -- "$@" "$pellin_name"
    pellin_up=$pellin_up../
  done
  case $pellin_rest in
    ''|.|..) pellin_refuse "$pellin_path" "it names no item in a folder"; return ;;
  esac
  # cd -P follows a link swapped in after the test above, so what counts is where the shell is
  # now. One stat looks at the whole way: the home by its path and as the folder so many ".."
  # above this one, then for each folder entered the entry of its name (a link is not followed)
  # and the folder that many ".." above this one. Each pair must be one folder of <owner>'s.
  pellin_home_here=${pellin_up%/}
  pellin_folders=$#
  for pellin_name do
    set -- "$@" "$pellin_up$pellin_name"
    pellin_up=${pellin_up#../}
    set -- "$@" "${pellin_up:-.}"
  done
  shift "$pellin_folders"
  pellin_seen=$(LC_ALL=C exec stat -c '%F:%u:%d:%i' -- "$pellin_home/." "${pellin_home_here:-.}" \
    "$@" 2>/dev/null)
  set -f
  IFS='
'
  pellin_step=top
  for pellin_line in $pellin_seen; do
    case $pellin_step:$pellin_line in
      top:"directory:$pellin_owner:"*) pellin_top=$pellin_line; pellin_step=home ;;
      top:*) pellin_refuse "$pellin_path" "the home folder $pellin_home is not user $pellin_owner's"
             return ;;
      home:*) [ "$pellin_line" = "$pellin_top" ] || {
                pellin_refuse "$pellin_path" "it no longer lies inside the home folder $pellin_home"
                return; }
              pellin_step=named ;;
      named:"directory:$pellin_owner:"*) pellin_named=$pellin_line; pellin_step=folder ;;
      named:*) pellin_refuse "$pellin_path" "${1##*/} is a link, not a folder or not user $pellin_owner's"
               return ;;
      folder:*) [ "$pellin_line" = "$pellin_named" ] && [ $# -ge 2 ] || {
                  pellin_refuse "$pellin_path" "${1##*/} changed while it was checked"; return; }
                shift 2
                pellin_step=named ;;
    esac
  done
  [ "$pellin_step" = named ] && [ $# -eq 0 ] || {
    pellin_refuse "$pellin_path" "a folder changed while it was checked"; return; }
  IFS=' '
  exec rm $pellin_options -- "./$pellin_rest"
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
