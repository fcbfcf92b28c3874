#!/usr/bin/env bash
# Regenerates the self-signed certificates the tests' loopback HTTPS server presents. Run once;
# the results are committed. They are valid from 2000 to 2125 so that no test machine, whatever
# its clock says, sees them expire or not yet valid.
#   loopback.crt   for 127.0.0.1: a browser finds only that it is self-signed
#   otherhost.crt  for other.invalid: served on 127.0.0.1, the name does not match either
# Both use the key loopback.key.
set -euo pipefail
cd "$(dirname "$0")"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/index.txt"
cat > "$work/ca.cnf" <<CNF
[ca]
default_ca = self
[self]
database = $work/index.txt
new_certs_dir = $work
serial = $work/serial
default_md = sha256
policy = anything
copy_extensions = copy
unique_subject = no
[anything]
commonName = supplied
CNF

openssl genrsa -out loopback.key 2048

# certificate NAME COMMON_NAME SUBJECT_ALT_NAME
certificate() {
    openssl req -new -key loopback.key -subj "/CN=$2" -addext "subjectAltName=$3" -out "$work/$1.csr"
    openssl rand -hex 16 > "$work/serial"
    openssl ca -batch -notext -config "$work/ca.cnf" -selfsign -keyfile loopback.key \
        -startdate 20000101000000Z -enddate 21250101000000Z -in "$work/$1.csr" -out "$1.crt"
}
certificate loopback 127.0.0.1 IP:127.0.0.1
certificate otherhost other.invalid DNS:other.invalid
