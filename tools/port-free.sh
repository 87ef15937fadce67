#!/usr/bin/env bash
# port-free.sh PORT: true when nothing listens on loopback PORT; otherwise says which process
# holds it (as far as this user may see) and fails, so that a run never talks to a stranger.
port=$1
holder=$(ss -Htlnp "sport = :$port" 2>/dev/null)
[ -z "$holder" ] && exit 0
who=$(grep -o 'users:(([^)]*))' <<<"$holder" | head -1)
pid=$(grep -o 'pid=[0-9]*' <<<"$who" | head -1 | cut -d= -f2)
echo "port $port is already in use by ${who:-a process this user cannot see}" >&2
[ -n "$pid" ] && echo "  $(ps -o pid=,etime=,args= -p "$pid" 2>/dev/null)" >&2
exit 1
