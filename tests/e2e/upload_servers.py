"""Test servers for the upload tests, each on 127.0.0.1 only, run as their own process by
/usr/bin/python3 (Debian's pyftpdlib and asyncssh). Each prints "port <n>" once it listens.

  upload_servers.py ftp --home DIR --user U --password P [--drop-once BYTES]
                        [--throttle BYTES_PER_S] [--no-rest] [--rest-reply TEXT] [--latin1-names]
                        [--hold-login FILE]
  upload_servers.py sftp --root DIR --user U --password P --host-key FILE [--port N]
                         [--ed25519-key FILE]
  upload_servers.py silent [--greeting | --login]

The SFTP server makes its host key when FILE does not exist and writes the public key beside
it (FILE.pub); it notes every password it is offered on stderr. With --ed25519-key it holds an
Ed25519 key as well, which libssh2 asks for before an RSA key unless told otherwise.
The silent server takes connections and never finishes a reply: with --greeting it starts an
FTP greeting ("220-") and adds a continuation line every second for ever; with --login it
greets and takes any login, then answers nothing more; without either, it says nothing at all.
It notes each connection on stderr.
With --hold-login the FTP server writes FILE when a password arrives and answers it three
seconds later, so a test can look at the client while it logs in.
"""
import argparse
import asyncio
import os
import sys
import time


def run_ftp(args):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
    from pyftpdlib.servers import FTPServer

    class DroppingDTP(ThrottledDTPHandler):
        """Drops the first upload's data connection once it has received --drop-once bytes."""
        dropped = False

        def handle_read(self):
            super().handle_read()
            if args.drop_once and not DroppingDTP.dropped and self.tot_bytes_received >= args.drop_once:
                DroppingDTP.dropped = True
                # As a server whose connection broke: the reply comes, the data stop.
                self._resp = ("426 Connection closed; transfer aborted.", lambda *args, **kwargs: None)
                self.close()

        handle_read_event = handle_read  # the loop calls this name

    DroppingDTP.read_limit = args.throttle or 0

    class Handler(FTPHandler):
        dtp_handler = DroppingDTP
        def decode(self, data):
            # Each byte of a command as one character, so a test can see the bytes of a name.
            return data.decode("latin-1") if args.latin1_names else super().decode(data)

        def ftp_PASS(self, line):
            if args.hold_login:
                with open(args.hold_login, "w") as note:
                    note.write("login\n")
                time.sleep(3)  # holds the whole server: it has this one client
            return super().ftp_PASS(line)

        def ftp_REST(self, line):
            if args.no_rest:
                self.respond("502 Command not implemented.")
            elif args.rest_reply:
                self._restart_position = int(line)
                self.respond(args.rest_reply)
            else:
                super().ftp_REST(line)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm="elradfmwMT")
    Handler.authorizer = authorizer
    Handler.permit_foreign_addresses = False
    server = FTPServer(("127.0.0.1", 0), Handler)
    print(f"port {server.address[1]}", flush=True)
    server.serve_forever()


def run_sftp(args):
    import asyncssh

    class Server(asyncssh.SSHServer):
        def begin_auth(self, username):
            return True

        def password_auth_supported(self):
            return True

        def validate_password(self, username, password):
            print(f"password offered for {username}", file=sys.stderr, flush=True)
            return username == args.user and password == args.password

    class RootedSFTP(asyncssh.SFTPServer):
        def __init__(self, chan):
            super().__init__(chan, chroot=args.root.encode())

    async def main(host_keys):
        # libssh2 1.10 has no strict key exchange: offer it only ciphers and MACs that are
        # safe without one.
        server = await asyncssh.create_server(
            Server, "127.0.0.1", args.port, server_host_keys=host_keys, sftp_factory=RootedSFTP,
            encryption_algs=["aes256-ctr", "aes128-ctr"], mac_algs=["hmac-sha2-256", "hmac-sha1"],
            allow_scp=False, reuse_address=True)  # a second server may take the first one's port
        print(f"port {server.sockets[0].getsockname()[1]}", flush=True)
        await asyncio.Event().wait()

    def make_key(path, kind, **options):
        if not os.path.exists(path):
            key = asyncssh.generate_private_key(kind, **options)
            key.write_private_key(path)
            key.write_public_key(path + ".pub")

    make_key(args.host_key, "ssh-rsa", key_size=2048)
    if args.ed25519_key:
        make_key(args.ed25519_key, "ssh-ed25519")
    host_keys = [args.host_key] + ([args.ed25519_key] if args.ed25519_key else [])
    asyncio.run(main(host_keys))


def run_silent(args):
    async def hold(reader, writer):
        print("connection", file=sys.stderr, flush=True)
        try:
            if args.login:
                writer.write(b"220 Ready\r\n")
                for reply in (b"331 Password please\r\n", b"230 Logged in\r\n"):
                    await reader.readline()
                    writer.write(reply)
                await writer.drain()
            elif args.greeting:
                writer.write(b"220-Welcome, please wait\r\n")
                while True:
                    await writer.drain()
                    await asyncio.sleep(1)
                    writer.write(b"220-still starting\r\n")
            await reader.read()  # until the client goes
        except (ConnectionError, OSError):
            pass
        writer.close()

    async def main():
        server = await asyncio.start_server(hold, "127.0.0.1", 0)
        print(f"port {server.sockets[0].getsockname()[1]}", flush=True)
        await asyncio.Event().wait()

    asyncio.run(main())


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="kind", required=True)
    ftp = sub.add_parser("ftp")
    ftp.add_argument("--home", required=True)
    ftp.add_argument("--user", required=True)
    ftp.add_argument("--password", required=True)
    ftp.add_argument("--drop-once", type=int, default=0)
    ftp.add_argument("--throttle", type=int, default=0)
    ftp.add_argument("--no-rest", action="store_true")
    ftp.add_argument("--rest-reply", default="")
    ftp.add_argument("--latin1-names", action="store_true")
    ftp.add_argument("--hold-login", default="")
    sftp = sub.add_parser("sftp")
    sftp.add_argument("--root", required=True)
    sftp.add_argument("--user", required=True)
    sftp.add_argument("--password", required=True)
    sftp.add_argument("--host-key", required=True)
    sftp.add_argument("--port", type=int, default=0)
    sftp.add_argument("--ed25519-key", default="")
    silent = sub.add_parser("silent")
    silent.add_argument("--greeting", action="store_true")
    silent.add_argument("--login", action="store_true")
    args = parser.parse_args()
    {"ftp": run_ftp, "sftp": run_sftp, "silent": run_silent}[args.kind](args)


if __name__ == "__main__":
    main()
