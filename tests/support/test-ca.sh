#!/usr/bin/env bash
# Sourced by the tests that need certificates of their own: throwaway CAs in a folder, and the
# certificates they issue, with `openssl ca` so that a validity can begin in the past (a
# signature at the commit's time, an expired server certificate).
#   test_ca_init DIR
#   test_ca_issue DIR NAME SUBJECT-CN PROFILE FROM UNTIL OPENSSL-CA-ARGS...
#       writes DIR/NAME.key and DIR/NAME.pem. PROFILE: root (a CA), signer (code signing) or
#       server (TLS, with the CN as its DNS name). FROM and UNTIL as YYYYMMDDHHMMSSZ.
#   test_ca_by DIR CA   the OPENSSL-CA-ARGS of a certificate that CA signs
test_ca_init() {
    mkdir -p "$1" && echo 01 >"$1/serial"
    cat >"$1/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
dir = $1
database = $1/index.txt
new_certs_dir = $1
serial = $1/serial
default_md = sha256
policy = any
copy_extensions = copy
[any]
commonName = supplied
[root]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
[signer]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
[server]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
CNF
}

test_ca_issue() {
    local dir=$1 name=$2 cn=$3 profile=$4
    local san=()
    [ "$profile" = server ] && san=(-addext "subjectAltName=DNS:$cn")
    : >"$dir/index.txt" # its database would refuse a second certificate for one name
    openssl req -new -newkey rsa:2048 -nodes -keyout "$dir/$name.key" -out "$dir/$name.csr" -subj "/CN=$cn" \
        "${san[@]}" 2>/dev/null &&
        openssl ca -batch -config "$dir/ca.cnf" -in "$dir/$name.csr" -out "$dir/$name.pem" -notext \
            -extensions "$profile" -startdate "$5" -enddate "$6" "${@:7}" 2>/dev/null
}

test_ca_by() { echo -cert "$1/$2.pem" -keyfile "$1/$2.key"; }
