#!/usr/bin/env bash
# ravelin-tool keygen, sign and verify against each other and against stock
# OpenSSL, one case per run in a fresh folder.
# Usage: tool_signing_test.sh TOOL WORKDIR CASE [VARIANT]
set -euo pipefail

tool=$1 work=$2 case=$3 variant=${4:-}
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs the tool and fails unless it exits with status $1; out.txt and err.txt
# keep what it printed.
expect() {
  local want=$1 got=0
  shift
  "$tool" "$@" >out.txt 2>err.txt || got=$?
  [[ $got == "$want" ]] || fail "ravelin-tool $* exited $got, not $want: $(cat out.txt err.txt)"
}

# The verdict is one line on stdout.
expect_verdict() {
  local pattern=$1
  [[ $(wc -l <out.txt) == 1 ]] && grep -Eqx "$pattern" out.txt || fail "verdict '$(cat out.txt)' is not '$pattern'"
}

# A refusal is one line on stderr and no verdict.
expect_refusal() {
  [[ $(wc -l <err.txt) == 1 && ! -s out.txt ]] || fail "not one line of refusal: $(cat out.txt err.txt)"
}

# Larger than one read buffer, so a change past the first piece must count.
make_build() { head -c 200000 /dev/zero | tr '\0' 'b' >"${1:-build.exe}"; }

tool_keys() { expect 0 keygen --private "$1-private.pem" --public "$1-public.pem"; }

openssl_keys() {
  openssl ecparam -name "${2:-prime256v1}" -genkey -noout -out "$1-private.pem"
  openssl ec -in "$1-private.pem" -pubout -out "$1-public.pem" 2>/dev/null
}

openssl_sign() {
  openssl dgst -sha256 -sign "$1" -out s.der "$2"
  base64 -w0 s.der >"$3"
}

case $case in
  sign_round_trip_verifies_good)
    tool_keys a
    make_build
    expect 0 sign build.exe --key a-private.pem
    expect 0 verify build.exe --key a-public.pem
    expect_verdict 'good signature'
    ;;
  verify_rejects_file_changed_after_signing)
    tool_keys a
    make_build
    expect 0 sign build.exe --key a-private.pem
    printf 'c' | dd of=build.exe bs=1 seek=150000 conv=notrunc status=none
    expect 1 verify build.exe --key a-public.pem
    expect_verdict 'BAD signature: .+'
    ;;
  verify_rejects_signature_by_other_key)
    tool_keys a
    tool_keys b
    make_build
    expect 0 sign build.exe --key b-private.pem
    expect 1 verify build.exe --key a-public.pem
    expect_verdict 'BAD signature: .+'
    ;;
  verify_reports_missing_signature)
    tool_keys a
    make_build
    expect 1 verify build.exe --key a-public.pem
    expect_verdict 'BAD signature: no signature file build\.exe\.sig'
    expect 1 verify build.exe --key a-public.pem --sig elsewhere.sig
    expect_verdict 'BAD signature: no signature file elsewhere\.sig'
    ;;
  verify_ignores_white_space_in_signature)
    tool_keys a
    make_build
    expect 0 sign build.exe --key a-private.pem
    sig=$(cat build.exe.sig)
    printf ' %s\r\n\t%s \n%s\n\n' "${sig:0:7}" "${sig:7:40}" "${sig:47}" >build.exe.sig
    expect 0 verify build.exe --key a-public.pem
    expect_verdict 'good signature'
    ;;
  verify_accepts_openssl_signature)
    openssl_keys a
    make_build
    openssl_sign a-private.pem build.exe stock.sig
    expect 0 verify build.exe --key a-public.pem --sig stock.sig
    expect_verdict 'good signature'
    ;;
  openssl_accepts_tool_signature)
    # A private key as openssl ecparam writes it (SEC1), not as keygen does.
    openssl_keys a
    make_build
    expect 0 sign build.exe --key a-private.pem
    grep -Eqx '[A-Za-z0-9+/]+={0,2}' build.exe.sig && [[ $(wc -l <build.exe.sig) == 0 ]] ||
      fail "not base64 on one line without its end: $(cat build.exe.sig)"
    base64 -d build.exe.sig >s.der
    openssl dgst -sha256 -verify a-public.pem -signature s.der build.exe >/dev/null || fail "openssl rejects it"
    ;;
  refuses_key_not_p256)
    make_build
    openssl_keys good
    openssl_sign good-private.pem build.exe build.exe.sig
    case $variant in
      verify_secp384r1) openssl_keys other secp384r1 && args=(verify build.exe --key other-public.pem) ;;
      verify_rsa)
        openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out rsa.pem 2>/dev/null
        openssl pkey -in rsa.pem -pubout -out other-public.pem
        args=(verify build.exe --key other-public.pem)
        ;;
      verify_compressed_point)
        openssl ec -in good-private.pem -pubout -conv_form compressed -out other-public.pem 2>/dev/null
        args=(verify build.exe --key other-public.pem)
        ;;
      verify_private_key) args=(verify build.exe --key good-private.pem) ;;
      sign_secp384r1) openssl_keys other secp384r1 && rm build.exe.sig && args=(sign build.exe --key other-private.pem) ;;
      *) fail "unknown variant $variant" ;;
    esac
    expect 2 "${args[@]}"
    expect_refusal
    [[ ${args[0]} == verify || ! -e build.exe.sig ]] || fail "a signature was written"
    ;;
  verify_rejects_malformed_signature)
    tool_keys a
    make_build
    case $variant in
      not_base64) printf 'MEUCIQ*x' >build.exe.sig && reason='not base64 text' ;;
      raw_r_and_s) head -c 64 /dev/urandom | base64 -w0 >build.exe.sig && reason='holds no DER-encoded ECDSA signature' ;;
      empty) : >build.exe.sig && reason='holds no DER-encoded ECDSA signature' ;;
      oversized) head -c 6000 /dev/zero | tr '\0' A >build.exe.sig && reason='too long for a signature file' ;;
      *) fail "unknown variant $variant" ;;
    esac
    expect 1 verify build.exe --key a-public.pem
    expect_verdict "BAD signature: build\.exe\.sig (is )?$reason"
    ;;
  keygen_private_key_is_owner_only)
    # Even where the umask would let everyone read it.
    umask 000
    expect 0 keygen
    [[ $(stat -c %a update-private.pem) == 600 ]] || fail "private key mode $(stat -c %a update-private.pem)"
    grep -q 'BEGIN PUBLIC KEY' update-public.pem || fail "no public key written"
    ;;
  keygen_refuses_to_overwrite)
    for existing in update-private.pem update-public.pem; do
      rm -f update-*.pem
      echo keep >"$existing"
      expect 2 keygen
      expect_refusal
      [[ $(cat "$existing") == keep ]] || fail "$existing was overwritten"
      [[ $(ls update-*.pem) == "$existing" ]] || fail "keygen left a half pair: $(ls update-*.pem)"
    done
    ;;
  *) fail "unknown case $case" ;;
esac
