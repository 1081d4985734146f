#include <PellinAppleScript/ShellInvocation.h>

namespace applescript {

namespace {

// Run as `/bin/sh -c <this> sh <marker> <owner> <text> [<folder>...]` with administrator rights,
// HOME the home of user <owner> and PATH the system folders only. Writes the start marker first
// when <marker> is not empty, then runs <text> in this same shell, where `rm` (and `sudo rm`,
// which would only run rm as root again) is the guarded removal below.
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
//
// The <folder>s, the folders the caller knows the text removes in, spare even that stat: before
// the text runs, each is opened from the home one folder at a time (each opened relative to the
// one above it, held open from then on), and one stat for them all proves that each opened
// folder was the entry of its name in the one above, no link, and <owner>'s, and the home the
// home. An operand whose folder is held is then removed from inside the held folder itself,
// which no later rename or link can exchange; only a user who owns it could move it, and an
// owner cannot be changed but by root. When anything does not prove, nothing is held and every
// operand takes the way above.
constexpr std::string_view kScript = R"SH([ -z "$1" ] || printf '\036'
pellin_owner=$2
pellin_text=$3
shift 3
unset CDPATH
pellin_home=$HOME
while [ "$pellin_home" != / ] && [ "${pellin_home%/}" != "$pellin_home" ]; do
  pellin_home=${pellin_home%/}
done
if [ "$pellin_home" = / ]; then pellin_prefix=/; else pellin_prefix=$pellin_home/; fi

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
  case $pellin_path in
    "$pellin_prefix"?*) pellin_rest=${pellin_path#"$pellin_prefix"} ;;
    *) pellin_refuse "$pellin_path" "it is not inside the home folder $pellin_home"; return ;;
  esac
  pellin_remove_in_held
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

# The held folder of the operand's folder, when it is one, still the folder that was proved and
# still inside the home: enter it and end as rm of the operand's last name. Returns otherwise.
pellin_remove_in_held() {
  case $pellin_rest in
    */*) pellin_folder=${pellin_rest%/*} pellin_name=${pellin_rest##*/} ;;
    *) pellin_folder= pellin_name=$pellin_rest ;;
  esac
  case $pellin_name in ''|.|..) return ;; esac
  pellin_held_fd "$pellin_folder" || return 0
  [ "/dev/fd/$pellin_fd/." -ef "$pellin_prefix$pellin_folder" ] || return 0
  cd -P "/dev/fd/$pellin_fd" 2>/dev/null || return 0
  # Still inside the home: as many ".." above it as it lies deep ("..", which never follows a
  # link) is the home, so a held folder moved out of the home since its proof is not used.
  pellin_up=.
  pellin_below=$pellin_folder
  while [ -n "$pellin_below" ]; do
    pellin_up=$pellin_up/..
    case $pellin_below in */*) pellin_below=${pellin_below#*/} ;; *) pellin_below= ;; esac
  done
  [ "$pellin_up" -ef "$pellin_home/." ] || return 0
  set -f
  IFS=' '
  exec rm $pellin_options -- "./$pellin_name"
}

# Sets pellin_fd to the descriptor that holds folder $1 (relative to the home, "" for the home
# itself); fails when none does. pellin_held_<fd> names the folder each descriptor holds.
pellin_held_fd() {
  for pellin_fd in 3 4 5 6 7 8 9; do
    eval "pellin_value=\${pellin_held_$pellin_fd-/}"
    [ "$pellin_value" = "$1" ] && return 0
  done
  return 1
}

pellin_release_all() {
  exec 3<&- 4<&- 5<&- 6<&- 7<&- 8<&- 9<&-
  unset pellin_held_3 pellin_held_4 pellin_held_5 pellin_held_6 pellin_held_7 pellin_held_8 \
    pellin_held_9
}

# Holds the folders named in the arguments, and what lies between them and the home, as far as
# seven descriptors go, and proves them all with one stat; holds nothing when that fails.
pellin_hold() {
  [ $# -gt 0 ] || return 0
  { command exec 3<"$pellin_home/."; } 2>/dev/null || return 0
  pellin_held_3=
  pellin_free=4
  pellin_wanted=$#
  for pellin_folder do
    case $pellin_folder in
      "$pellin_prefix"?*) pellin_rest=${pellin_folder#"$pellin_prefix"}/ ;;
      *) continue ;;
    esac
    pellin_sofar=
    pellin_parent=3
    while [ -n "$pellin_rest" ]; do
      pellin_name=${pellin_rest%%/*}
      pellin_rest=${pellin_rest#*/}
      case $pellin_name in ''|.|..) break ;; esac
      pellin_sofar=${pellin_sofar:+$pellin_sofar/}$pellin_name
      if ! pellin_held_fd "$pellin_sofar"; then
        [ "$pellin_free" -le 9 ] || break
        eval "{ command exec $pellin_free<\"/dev/fd/\$pellin_parent/\$pellin_name/.\"; } \
          2>/dev/null" || break
        pellin_fd=$pellin_free
        eval "pellin_held_$pellin_fd=\$pellin_sofar"
        set -- "$@" "/dev/fd/$pellin_parent/$pellin_name" "/dev/fd/$pellin_fd/."
        pellin_free=$((pellin_free + 1))
      fi
      pellin_parent=$pellin_fd
    done
  done
  shift "$pellin_wanted"
  # Pairs of lines: the entry by its name in the folder above (a link is not followed) and the
  # folder held for it, the home by its path first; each pair one folder of <owner>'s.
  pellin_seen=$(LC_ALL=C exec stat -c '%F:%u:%d:%i' -- "$pellin_home/." /dev/fd/3/. "$@" \
    2>/dev/null)
  pellin_lines=0
  pellin_entry=
  set -f
  IFS='
'
  for pellin_line in $pellin_seen; do
    pellin_lines=$((pellin_lines + 1))
    if [ -z "$pellin_entry" ]; then
      case $pellin_line in "directory:$pellin_owner:"*) pellin_entry=$pellin_line ;; *) break ;; esac
    elif [ "$pellin_line" = "$pellin_entry" ]; then
      pellin_entry=
    else
      break
    fi
  done
  unset IFS
  set +f
  [ -z "$pellin_entry" ] && [ "$pellin_lines" -eq $(($# + 2)) ] || pellin_release_all
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

pellin_hold "$@"
shift "$#"
eval "$pellin_text")SH";

}  // namespace

std::string_view elevatedShellScript() {
    return kScript;
}

}  // namespace applescript
