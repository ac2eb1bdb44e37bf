#!/usr/bin/env bash
# Makes the capture files the container tests read, with Wireshark's own
# writers (Debian's wireshark-common), from session.txt:
#   session.pcap          tcpdump's classic format, microseconds, Ethernet
#   session-ns.pcap       the same in nanoseconds (editcap)
#   session.pcapng        pcapng, Ethernet (text2pcap's default format)
#   session-two.pcapng    pcapng with two interfaces: Ethernet in
#                         nanoseconds and raw IPv4 in microseconds (mergecap)
#   session-truncated.pcap  session.pcap with its last record cut short
# The files are committed; run this again only to remake them.
set -euo pipefail
cd "$(dirname "$0")"
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
udp=(-u 7777,50000 -4 10.0.0.1,10.0.0.2)
text2pcap -q -t "%s.%f" -F pcap "${udp[@]}" session.txt session.pcap
editcap -F nsecpcap session.pcap session-ns.pcap
text2pcap -q -t "%s.%f" "${udp[@]}" session.txt session.pcapng
text2pcap -q -t "%s.%f" -F pcap -l 101 "${udp[@]}" session.txt "$t/raw.pcap"
editcap -F pcapng -A 1700000000.060000 "$t/raw.pcap" "$t/raw.pcapng"
editcap -F pcapng -B 1700000000.060000 session-ns.pcap "$t/ether.pcapng"
mergecap -F pcapng -w session-two.pcapng "$t/ether.pcapng" "$t/raw.pcapng"
size=$(stat -c %s session.pcap)
head -c $((size - 3)) session.pcap >session-truncated.pcap
