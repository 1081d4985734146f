#!/usr/bin/env bash
# Makes Pellin look installed in a home folder, so that PellinUninstaller has something to remove
# and to force-quit: the launch agent's property list, the resident application (with the
# updater beside it in ~/Library/Pellin), the launcher in ~/Applications, a few keys in the
# shared settings domain, and a running resident application and updater.
#
# Every program laid out here is a shell script that only sleeps; nothing outside the home
# folder is touched. See docs/trial.md.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: install-trial-product.sh [--home DIR] [--no-start] [--launchctl PATH]
  --home DIR        lay the product out in DIR instead of $HOME
  --no-start        lay out the files only; start no process
  --launchctl PATH  start the resident application through this launchctl ("load"), not directly
EOF
}

home=${HOME:-}
start=yes
launchctl=
while [ $# -gt 0 ]; do
  case $1 in
    --home) home=${2:?--home needs a folder}; shift 2 ;;
    --no-start) start=no; shift ;;
    --launchctl) launchctl=${2:?--launchctl needs a path}; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done
if [ -z "$home" ] || [ ! -d "$home" ]; then
  echo "install-trial-product: no home folder to install into (set HOME or give --home)" >&2
  exit 1
fi
home=$(cd "$home" && pwd -P)

# Texts go into XML, so the few characters XML reserves are written as entities.
xml_escape() {
  local text=$1
  text=${text//&/&amp;}
  text=${text//</&lt;}
  text=${text//>/&gt;}
  printf '%s' "$text"
}

plist_header='<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">'

# make_bundle <bundle folder> <bundle identifier> <executable name>
make_bundle() {
  local bundle=$1 identifier=$2 executable=$3
  mkdir -p "$bundle/Contents/MacOS"
  cat >"$bundle/Contents/Info.plist" <<EOF
$plist_header
<dict>
	<key>CFBundleIdentifier</key>
	<string>$identifier</string>
	<key>CFBundleExecutable</key>
	<string>$executable</string>
	<key>CFBundleName</key>
	<string>$executable</string>
	<key>CFBundlePackageType</key>
	<string>APPL</string>
</dict>
</plist>
EOF
  # A short sleep per round, so that a sleep left behind by a force-quit ends soon after.
  cat >"$bundle/Contents/MacOS/$executable" <<'EOF'
#!/bin/sh
# Trial stand-in for a Pellin program: it does nothing but stay running.
while :; do sleep 5; done
EOF
  chmod 755 "$bundle/Contents/MacOS/$executable"
}

resident_app="$home/Library/Pellin/Pellin.app"
updater_app="$home/Library/Pellin/BRENVIKUPDATE.app"
launcher_app="$home/Applications/KickPellin.app"
launch_agent="$home/Library/LaunchAgents/jp.brenvik.mac.Pellin.plist"
shared_domain="$home/Library/Preferences/com.brenvik.mac.Pellin.common.plist"

make_bundle "$resident_app" com.brenvik.mac.Pellin Pellin
make_bundle "$updater_app" com.brenvik.mac.Pellin.BRENVIKUPDATE BRENVIKUPDATE
make_bundle "$launcher_app" com.brenvik.mac.Pellin.KickPellin KickPellin

mkdir -p "$(dirname "$launch_agent")"
cat >"$launch_agent" <<EOF
$plist_header
<dict>
	<key>Label</key>
	<string>jp.brenvik.mac.Pellin</string>
	<key>ProgramArguments</key>
	<array>
		<string>$(xml_escape "$resident_app/Contents/MacOS/Pellin")</string>
	</array>
	<key>RunAtLoad</key>
	<true/>
</dict>
</plist>
EOF

mkdir -p "$(dirname "$shared_domain")"
cat >"$shared_domain" <<EOF
$plist_header
<dict>
	<key>productInformation</key>
	<true/>
	<key>installedKickApp</key>
	<true/>
	<key>nextAutoUpdate</key>
	<string>$(date '+%Y/%m/%d %H:%M:%S')</string>
</dict>
</plist>
EOF

echo "install-trial-product: laid out in $home:"
echo "  $launch_agent"
echo "  $resident_app (and $updater_app)"
echo "  $launcher_app"
echo "  $shared_domain"

if [ "$start" = no ]; then
  exit 0
fi

# start_detached <program>: runs it in its own session with HOME pointing at the trial home,
# unless an instance of it already runs.
start_detached() {
  local program=$1
  # Compared as plain text, since a home path may hold characters that a pattern would read;
  # the list is taken first so that no process of this check shows up in it.
  local running
  running=$(pgrep -a -u "$(id -u)" . || true)
  if [[ $'\n'$running$'\n' == *" $program"$'\n'* ]]; then
    echo "  already running: $program"
    return
  fi
  HOME=$home setsid -f "$program" </dev/null >/dev/null 2>&1
  echo "  started: $program"
}

if [ -n "$launchctl" ]; then
  HOME=$home "$launchctl" load "$launch_agent"
  echo "  loaded through $launchctl: $launch_agent"
else
  start_detached "$resident_app/Contents/MacOS/Pellin"
fi
start_detached "$updater_app/Contents/MacOS/BRENVIKUPDATE"
