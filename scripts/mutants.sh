#!/usr/bin/env bash
# Proves that the test suite catches the faults a reviewer would fear. Each patch under
# tests/mutants/ plants one such fault; for each, this script applies it to a scratch checkout of
# HEAD, rebuilds, runs the suite and reports the patch as caught (some test failed) or missed
# (every test passed). A patch that no longer applies or builds is reported as such: mend it.
#
#   scripts/mutants.sh                 every patch
#   scripts/mutants.sh name...         only these (file names under tests/mutants/, .patch optional)
#
# Not part of CI: it rebuilds once per patch. The working tree is never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

patches=()
if [ $# -eq 0 ]; then
  for patch in tests/mutants/*.patch; do patches+=("$patch"); done
else
  for name in "$@"; do patches+=("tests/mutants/${name%.patch}.patch"); done
fi
[ ${#patches[@]} -gt 0 ] || { echo "mutants: no patches under tests/mutants/"; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/pellin-mutants.XXXXXX")
# Some tests run the built programs as another user, who must be able to reach them.
chmod 755 "$scratch"
cleanup() {
  git -C "$top" worktree remove --force "$scratch/tree" >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
git worktree add --detach --quiet "$scratch/tree" HEAD
cd "$scratch/tree"

echo "== building HEAD once"
cmake --preset debug >/dev/null
cmake --build --preset debug >"$scratch/build.log" 2>&1 || { tail -n 40 "$scratch/build.log"; exit 1; }
# A suite that already fails would count every patch as caught: it must pass untouched first.
echo "== running the suite on HEAD untouched"
if ! ctest --preset debug --timeout 300 >"$scratch/test.log" 2>&1; then
  grep -E '\(Failed\)|\(Timeout\)|\*\*\*' "$scratch/test.log" | head -n 10
  echo "mutants: the suite fails without any patch; fix that first"
  exit 1
fi

caught=0
missed=0
broken=0
printf '\n| patch | result | first failing tests | seconds |\n|---|---|---|---|\n' >"$scratch/table"
for patch in "${patches[@]}"; do
  name=$(basename "$patch" .patch)
  started=$SECONDS
  if ! git apply "$top/$patch" 2>"$scratch/apply.log"; then
    result="does not apply"; failing=""; broken=$((broken + 1))
  elif ! cmake --build --preset debug >"$scratch/build.log" 2>&1; then
    result="does not build"; failing=""; broken=$((broken + 1))
  elif ctest --preset debug --stop-on-failure --timeout 120 >"$scratch/test.log" 2>&1; then
    result="MISSED"; failing=""; missed=$((missed + 1))
  else
    result="caught"; caught=$((caught + 1))
    failing=$(grep -E '\*\*\*(Failed|Timeout|Exception)|\(Failed\)|\(Timeout\)' "$scratch/test.log" |
      sed -E 's/.*Test +#[0-9]+: ([^ ]+).*/\1/' | head -n 3 | paste -sd ' ' -)
  fi
  git checkout --quiet -- . && git clean -fdq -e build
  printf '| %s | %s | %s | %d |\n' "$name" "$result" "$failing" $((SECONDS - started)) |
    tee -a "$scratch/table"
done
# Leave the scratch build as HEAD built it, so a rerun starts from a clean state.
cat "$scratch/table"
echo
echo "caught $caught, missed $missed, broken $broken of ${#patches[@]}"
[ "$missed" -eq 0 ] && [ "$broken" -eq 0 ]
