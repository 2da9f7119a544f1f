#!/usr/bin/env bash
# Makes the demo certificate authority and the tracking site's certificate for 127.0.0.1 and
# localhost in DIR (kept when they are already there): ca.pem is what clients trust,
# server.pem/server.key are the site's.
set -euo pipefail
dir=${1:?usage: make_certs.sh DIR}
mkdir -p "$dir"
cd "$dir"
[ -s ca.pem ] && [ -s server.pem ] && [ -s server.key ] && exit 0
umask 077
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Demo Tracking CA" \
  -keyout ca.key -out ca.pem -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout server.key -out server.csr 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 \
  -extfile server.ext -out server.pem 2>/dev/null
rm -f server.csr server.ext ca.srl
chmod 644 ca.pem server.pem
