# wait_until <seconds> <command...>: true as soon as the command succeeds, checked every 0.2 s.
wait_until() {
    local limit=$(($1 * 5))
    shift
    for _ in $(seq "$limit"); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}
