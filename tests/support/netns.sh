# Network namespaces for the shell tests that need networks of their own (tests/faults,
# tests/e2e): a test never runs on the machine's own network. Needs checks.sh (skip).

# need_netns: skips the test unless it may make network namespaces (root, and a kernel
# that has them).
need_netns() {
  [ "$(id -u)" = 0 ] || skip "network namespaces need root"
  ip netns list >/dev/null 2>&1 || skip "no network namespaces here"
}
# netns_add NS: a new namespace with its loopback up.
netns_add() {
  ip netns add "$1"
  ip -n "$1" link set lo up
}
# link_up NS_A IF_A ADDR_A NS_B IF_B ADDR_B: addresses on a private /24 for both ends of a
# link between two namespaces, and both ends up.
link_up() {
  ip -n "$1" addr add "$3/24" dev "$2"
  ip -n "$4" addr add "$6/24" dev "$5"
  ip -n "$1" link set "$2" up
  ip -n "$4" link set "$5" up
}
# veth_join NS_A IF_A ADDR_A NS_B IF_B ADDR_B: a veth pair between two namespaces, as
# link_up leaves it.
veth_join() {
  ip link add "$2" netns "$1" type veth peer name "$5" netns "$4"
  link_up "$@"
}
