"""A loopback SMTP server for the e-mail tests: aiosmtpd on 127.0.0.1 that stores every
message it accepts as NNN.eml (with NNN.env holding the envelope) in a folder.
    smtp_server.py <folder> <port> [--user U --password P] [--starttls CERT KEY] [--smtps CERT KEY]
                   [--stall SECONDS]
Writes <folder>/ready once it listens, and a line to <folder>/sessions for every connection it
takes. With --stall it holds back its reply to each message's data that long, having written
<folder>/stalled, so a test can look at the sender while it waits; runs until it is terminated."""
import argparse
import asyncio
import pathlib
import signal
import ssl
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class NotedSmtp(SMTP):
    """Notes every connection once the server is ready (the controller's own one at its start
    left out), so a test can tell that nothing reached the server."""

    def connection_made(self, transport):
        if self.event_handler.ready:
            with open(self.event_handler.folder / "sessions", "a") as sessions:
                sessions.write("session\n")
        super().connection_made(transport)


class NotingController(Controller):
    def factory(self):
        return NotedSmtp(self.handler, **self.SMTP_kwargs)


class Store:
    def __init__(self, folder, stall):
        self.folder = folder
        self.stall = stall
        self.count = 0
        self.ready = False

    async def handle_DATA(self, server, session, envelope):
        if self.stall:
            (self.folder / "stalled").write_text("stalled\n")
            await asyncio.sleep(self.stall)
        self.count += 1
        stem = self.folder / f"{self.count:03d}"
        stem.with_suffix(".eml").write_bytes(envelope.original_content or envelope.content)
        stem.with_suffix(".env").write_text("\n".join([envelope.mail_from, *envelope.rcpt_tos]) + "\n")
        return "250 Message accepted"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder", type=pathlib.Path)
    parser.add_argument("port", type=int)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--starttls", nargs=2)
    parser.add_argument("--smtps", nargs=2)
    parser.add_argument("--stall", type=float, default=0)
    args = parser.parse_args()
    args.folder.mkdir(parents=True, exist_ok=True)

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == args.user.encode()
              and auth_data.password == args.password.encode())
        return AuthResult(success=ok, handled=False)

    options = {}
    if args.user:
        options.update(authenticator=authenticate, auth_required=True, auth_require_tls=False)
    pair = args.starttls or args.smtps
    if pair:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*pair)
        if args.starttls:
            options.update(tls_context=context, require_starttls=True)
        else:
            options.update(ssl_context=context)
    store = Store(args.folder, args.stall)
    controller = NotingController(store, hostname="127.0.0.1", port=args.port, **options)
    controller.start()
    store.ready = True
    (args.folder / "ready").write_text("ready\n")
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    main()
