#!/bin/sh
# The presets, the model names and the vehicle checks live in the library alone
# (src/profile/vehicle.*); the tool, the Python package and the C# binding take them from there.
# Fails when a copy comes back into one of them: a preset's numbers, a list of preset or model
# names, or the wording of a refusal. Usage: check_single_tables.sh SOURCE_ROOT
set -eu
root=$1
cd "$root"
files="tools/*.cpp tools/*.h bindings/python/korvale/*.py bindings/csharp/Korvale.cs"
status=0
check() {
    what=$1
    pattern=$2
    # shellcheck disable=SC2086 # the list of globs is split on purpose
    if grep -nE "$pattern" $files; then
        echo "^ $what: take it from the library (src/profile/vehicle.h)"
        status=1
    fi
}
check "a preset's numbers" \
    '(^|[^0-9.])(1644|2800|30000|14000)([^0-9]|$)|(^|[^0-9])(1\.293|0\.37|0\.65|0\.009|0\.006|0\.007)([^0-9]|$)'
names='"(car|van|truck|bus)"'
check "a list of presets" "$names.*$names"
models='"(default|parameterised|eco|predictive)"'
check "a list of models" "$models.*$models"
# A vehicle refusal names the field at fault before the wording ("vehicle_mass -5 is not above
# 0"), or a placeholder for it (%s, {name}); the tool's own options ("--horizon -1 is below 0")
# are not the vehicle's.
fields='vehicle_mass|drag_coefficient|frontal_area|air_density|rolling_resistance|gravity'
fields="$fields|coast_power|model_switch|brake_deceleration|least_deceleration|%s|\\{[A-Za-z_]*\\}"
fields="$fields|max_power|max_acceleration|comfortable_braking|max_regen_power|aux_power|idle_power"
fields="$fields|rotating_mass_factor|time_budget|[a-z]+_efficiency|powertrain"
check "the vehicle checks" "($fields).*(is not above 0|is below 0|is outside \\(|is not a finite number)"
exit $status
