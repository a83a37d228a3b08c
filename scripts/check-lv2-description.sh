#!/usr/bin/env bash
# Checks the LV2 bundle's generated description: every Turtle file parses strictly, none of the
# project's own fields is left empty, and validation against the LV2 schemas finds nothing but the
# known findings of the framework's templates (listed below, printed on every run).
#
#   scripts/check-lv2-description.sh path/to/Quorvane.lv2
set -euo pipefail

bundle="${1:?usage: check-lv2-description.sh BUNDLE}"
lv2="${LV2_SPEC_DIR:-/usr/lib/lv2}"
status=0

for ttl in "$bundle"/*.ttl; do
    if ! serdi -i turtle -o ntriples "$ttl" > /dev/null; then
        echo "check-lv2-description: $ttl does not parse" >&2
        status=1
    fi
    # An empty IRI is a field the build left blank (homepage, mail address).
    if grep -n '<>' "$ttl"; then
        echo "check-lv2-description: $ttl leaves a field empty" >&2
        status=1
    fi
done

specs=()
for spec in core atom state ui urid patch presets options buf-size units parameters port-groups port-props \
            resize-port time instance-access data-access midi schemas; do
    [[ -d "$lv2/$spec.lv2" ]] && specs+=("$lv2/$spec.lv2"/*.ttl)
done

# The findings with the bundle, less those the schemas give on their own.
findings() { sord_validate "$@" 2>&1 | grep '^error:' | sort || true; }
own="$(comm -13 <(findings "${specs[@]}") <(findings "${specs[@]}" "$bundle"/*.ttl))"

# What the framework's templates write and this project cannot change without patching them:
# doap fields on a plug-in not typed doap:Project, the UI's extension data and features not typed
# as such, and the state property of the program, which no schema defines.
known='Subject not in domain <http://usefulinc.com/ns/doap#Project>
Object not in range <http://lv2plug.in/ns/lv2core#ExtensionData>
Object not in range <http://lv2plug.in/ns/lv2core#Feature>
Use of undefined property
Property <[^>]*:Program> has no label'

echo "check-lv2-description: validation findings of the bundle (from the framework's templates):"
printf '%s\n' "$own" | sed 's/^/  /'
unexpected="$(printf '%s\n' "$own" | grep -v -E "$(printf '%s' "$known" | tr '\n' '|')" | grep -v '^$' || true)"
if [[ -n "$unexpected" ]]; then
    echo "check-lv2-description: unexpected findings:" >&2
    printf '%s\n' "$unexpected" >&2
    status=1
fi
exit "$status"
