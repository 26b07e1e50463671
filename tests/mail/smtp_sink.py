"""A mail sink for the SMTP client tests.

Runs aiosmtpd on a free loopback port, prints the port on the first line of
standard output and stores every message it accepts in DIR/<n>/ as files:
mail_from, rcpt_tos (one per line), content (the message as received, dot
transparency undone), raw (every byte the client sent in the session up to
and including the final "."), login and password (when AUTH was done).
Each message directory appears whole (written aside, then renamed).

usage: /usr/bin/python3 smtp_sink.py DIR [--auth-login USER PASSWORD] [--lifetime SECONDS]
"""
import argparse
import asyncio
import logging
import os
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class RecordingSMTP(SMTP):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.raw = bytearray()

    def data_received(self, data):
        self.raw.extend(data)
        super().data_received(data)


class Store:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        final = os.path.join(self.directory, str(self.count))
        aside = final + ".part"
        os.mkdir(aside)
        files = {
            "mail_from": envelope.mail_from.encode(),
            "rcpt_tos": "".join(r + "\n" for r in envelope.rcpt_tos).encode(),
            "content": envelope.original_content,
            "raw": bytes(server.raw),
        }
        auth = session.auth_data
        if isinstance(auth, LoginPassword):
            files["login"] = auth.login
            files["password"] = auth.password
        for name, data in files.items():
            with open(os.path.join(aside, name), "wb") as f:
                f.write(data)
        os.rename(aside, final)
        return "250 Message accepted"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("directory")
    parser.add_argument("--auth-login", nargs=2, metavar=("USER", "PASSWORD"))
    parser.add_argument("--lifetime", type=float, default=120.0)
    args = parser.parse_args()

    warnings.simplefilter("ignore")
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)

    options = {}
    if args.auth_login:
        user, password = (s.encode() for s in args.auth_login)

        def authenticator(server, session, envelope, mechanism, data):
            ok = (mechanism == "LOGIN" and isinstance(data, LoginPassword)
                  and data.login == user and data.password == password)
            return AuthResult(success=ok, handled=False, auth_data=data)

        # Plain-text AUTH is what the client speaks; the sink allows it on loopback.
        options = dict(authenticator=authenticator, auth_required=True,
                       auth_require_tls=False)

    store = Store(args.directory)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: RecordingSMTP(store, hostname="sink.test", loop=loop, **options),
        "127.0.0.1", 0))
    print(server.sockets[0].getsockname()[1], flush=True)
    # The sink never outlives a test run, even if nobody stops it.
    loop.call_later(args.lifetime, loop.stop)
    loop.run_forever()
    server.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
