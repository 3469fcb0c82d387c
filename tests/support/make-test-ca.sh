#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# make-test-ca.sh FOLDER: a certificate authority for tests only (ca.pem; its
# key is thrown away) and a certificate for 127.0.0.1 and localhost signed by
# it (server.pem, server.key), for the stand-in service to speak https.
set -eu
out=$1
mkdir -p "$out"
cd "$out"
umask 077
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 -subj "/CN=Tepora test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=127.0.0.1" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 3650 \
    -extfile server.ext 2>/dev/null
rm -f ca.key ca.srl server.csr server.ext
chmod 644 ca.pem server.pem
