"""A mail sink for the SMTP client tests.

Runs aiosmtpd on a free loopback port, prints the port on the first line of
standard output and stores every message it accepts in DIR/<n>/ as files:
mail_from, rcpt_tos (one per line), content (the message as received, dot
transparency undone), raw (every byte the client sent in the session up to
and including the final "."), login, password and mechanism (when AUTH was
done), tls (the TLS version the message came over, empty for none).
DIR/server-names gets a line per TLS handshake: the server name the client
sent, or "(none)". When a connection ends, DIR/session-<n>/ gets clear (the bytes received in
clear) and secure (the bytes received inside TLS).
Each directory appears whole (written aside, then renamed).

usage: /usr/bin/python3 smtp_sink.py DIR [--auth-login USER PASSWORD] [--lifetime SECONDS]
           [--plain-only] [--starttls | --implicit-tls] [--cert PEM --key PEM]
           [--max-tls 1.1]

--plain-only offers AUTH PLAIN alone. With --starttls the server offers
STARTTLS, refuses mail before it and offers AUTH only after it; with
--implicit-tls it speaks TLS from the first byte.
"""
import argparse
import asyncio
import logging
import os
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def write_whole(final, files):
    aside = final + ".part"
    os.mkdir(aside)
    for name, data in files.items():
        with open(os.path.join(aside, name), "wb") as f:
            f.write(data)
    os.rename(aside, final)


def tls_version(transport):
    ssl_object = transport.get_extra_info("ssl_object") if transport else None
    return ssl_object.version() if ssl_object is not None else ""


class RecordingSMTP(SMTP):
    def __init__(self, store, implicit_tls, *args, **kwargs):
        super().__init__(store, *args, **kwargs)
        self.store = store
        self.implicit_tls = implicit_tls
        self.raw = bytearray()
        self.clear = bytearray()
        self.secure = bytearray()
        self.recorded = False

    def data_received(self, data):
        self.raw.extend(data)
        if self.implicit_tls or self._tls_protocol is not None:
            self.secure.extend(data)
        else:
            self.clear.extend(data)
        super().data_received(data)

    def connection_lost(self, error):
        if not self.recorded:
            self.recorded = True
            self.store.sessions += 1
            write_whole(os.path.join(self.store.directory, "session-%d" % self.store.sessions),
                        {"clear": bytes(self.clear), "secure": bytes(self.secure)})
        super().connection_lost(error)


class Store:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0
        self.sessions = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        files = {
            "mail_from": envelope.mail_from.encode(),
            "rcpt_tos": "".join(r + "\n" for r in envelope.rcpt_tos).encode(),
            "content": envelope.original_content,
            "raw": bytes(server.raw),
            "tls": tls_version(server.transport).encode(),
        }
        auth = session.auth_data
        if isinstance(auth, LoginPassword):
            files["login"] = auth.login
            files["password"] = auth.password
            files["mechanism"] = server.auth_mechanism.encode()
        write_whole(os.path.join(self.directory, str(self.count)), files)
        return "250 Message accepted"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("directory")
    parser.add_argument("--auth-login", nargs=2, metavar=("USER", "PASSWORD"))
    parser.add_argument("--lifetime", type=float, default=120.0)
    parser.add_argument("--plain-only", action="store_true")
    parser.add_argument("--starttls", action="store_true")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--max-tls", choices=["1.1"])
    args = parser.parse_args()

    warnings.simplefilter("ignore")
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)

    context = None
    if args.starttls or args.implicit_tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)

        def note_server_name(ssl_object, name, ssl_context):
            with open(os.path.join(args.directory, "server-names"), "a") as f:
                f.write("%s\n" % (name if name is not None else "(none)"))
        context.sni_callback = note_server_name
        if args.max_tls == "1.1":
            context.set_ciphers("DEFAULT:@SECLEVEL=0")
            context.minimum_version = ssl.TLSVersion.TLSv1
            context.maximum_version = ssl.TLSVersion.TLSv1_1

    options = {}
    if args.auth_login:
        user, password = (s.encode() for s in args.auth_login)

        def authenticator(server, session, envelope, mechanism, data):
            ok = (mechanism in ("LOGIN", "PLAIN") and isinstance(data, LoginPassword)
                  and data.login == user and data.password == password)
            server.auth_mechanism = mechanism
            return AuthResult(success=ok, handled=False, auth_data=data)

        # Without TLS the sink allows AUTH in clear, on loopback; with
        # STARTTLS it offers AUTH only inside TLS. Under implicit TLS the
        # SMTP layer cannot tell, so it allows it there too.
        options = dict(authenticator=authenticator, auth_required=True,
                       auth_require_tls=args.starttls)
        if args.plain_only:
            options["auth_exclude_mechanism"] = ["LOGIN"]
    if args.starttls:
        options.update(tls_context=context, require_starttls=True)

    store = Store(args.directory)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: RecordingSMTP(store, args.implicit_tls, hostname="sink.test", loop=loop,
                              **options),
        "127.0.0.1", 0, ssl=context if args.implicit_tls else None))
    print(server.sockets[0].getsockname()[1], flush=True)
    # The sink never outlives a test run, even if nobody stops it.
    loop.call_later(args.lifetime, loop.stop)
    loop.run_forever()
    server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
