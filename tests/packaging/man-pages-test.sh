#!/usr/bin/env bash
# Every option a program's --help names is described in its man page.
#   man-pages-test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build=$2
status=0
check() {  # PAGE HELP-TEXT
    local page=$1 help=$2 option
    for option in $(grep -oE -- '(^|[ [,])--?[a-z][a-z-]*' <<<"$help" | grep -oE -- '--?[a-z][a-z-]*' | sort -u); do
        # roff writes each "-" of an option as "\-".
        grep -qF -- "${option//-/\\-}" "$page" || { echo "FAIL: $option of --help is not in $(basename "$page")" >&2; status=1; }
    done
}
check "$source_dir/man/edi-auto.1" "$(for subcommand in "" history status web; do "$build/src/edi-auto" $subcommand --help; done)"
check "$source_dir/man/ediconv.1" "$("$build/tools/ediconv" --help)"
check "$source_dir/man/edi-dbinit.1" "$("$build/tools/edi-dbinit" --help)"
exit $status
