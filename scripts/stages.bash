# What scripts/test and scripts/test-background share, sourced: stages that print their wall
# time, and a preset configured and built.
jobs=2
times=()
stage=
stage_started=0

begin() {
    stage=$1
    stage_started=$SECONDS
    echo "=== ${stage}: $2"
}
end() {
    local seconds=$((SECONDS - stage_started))
    times+=("$(printf '%6d s  %s' "$seconds" "$stage")")
    echo "=== ${stage}: ${seconds} s"
    stage=
}

run_preset() {
    local preset=$1
    begin "$preset" "configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    end
}
