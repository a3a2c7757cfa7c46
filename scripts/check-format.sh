#!/usr/bin/env bash
# Checks the C++ formatting (.clang-format) of the files a change touches:
# the files that differ from BASE (default: main) plus those not committed
# yet. With --all, or in CI (CI=true), every tracked C++ file is checked.
# Exits non-zero and lists each file that clang-format would change.
set -euo pipefail
cd "$(dirname "$0")/.."
format=${CLANG_FORMAT:-clang-format-14}
pattern='\.(cpp|h|c|cc)$'

files=()
if [[ "${1:-}" == "--all" || "${CI:-}" == "true" ]] || ! git rev-parse --verify -q "${1:-main}" >/dev/null; then
  mapfile -t files < <(git ls-files | grep -E "$pattern" || true)
else
  base=$(git merge-base HEAD "${1:-main}")
  mapfile -t files < <({ git diff --name-only --diff-filter=d "$base"; git diff --name-only --diff-filter=d;
                         git ls-files --others --exclude-standard; } | grep -E "$pattern" | sort -u || true)
fi
[[ ${#files[@]} -eq 0 ]] && { echo "format: no C++ files changed"; exit 0; }

bad=()
for f in "${files[@]}"; do
  [[ -f "$f" ]] || continue
  "$format" --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [[ ${#bad[@]} -ne 0 ]]; then
  echo "format: ${#bad[@]} file(s) differ from .clang-format (fix: $format -i FILE):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "format: ${#files[@]} file(s) checked, all formatted"
