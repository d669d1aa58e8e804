#!/usr/bin/python3
"""The cases of real-polkit.sh, run as root inside its namespaces: every case,
or those named in PRIVET_CASES. The programs they start as the session's
user (agents, probes, the click) are the other files of this folder.
"""
import os
import pty
import pwd
import grp
import re
import select
import signal
import subprocess
import sys
import termios
import time

from slowdown import SLOWDOWN, scaled

ENV = os.environ
SESSION = ENV.get('PRIVET_SESSION', '')
HERE = os.path.dirname(os.path.abspath(__file__))
PREFIX = ENV.get('PRIVET_PREFIX', '/usr/local')
PANE_STATUS = f'{PREFIX}/bin/privet-pane-status'
PREFERENCES = f'{PREFIX}/bin/privet-preferences'
LAUNCHER = f'{PREFIX}/libexec/privet/privileged-launcher'
PANE = f'{PREFIX}/lib/privet/KestrelPrefs.prefPane/Contents'
HELPER = f'{PANE}/Helpers/KestrelInstallHelper'
PAYLOAD = f'{PANE}/PlugIns/FernhillDigitizer.component'
INSTALLED = '/Library/QuickTime/FernhillDigitizer.component'
MARKER = '/tmp/started-by-the-launcher'
PASSWORD_PROMPT = r'Password: ?$'


class Terminal:
    """A program of `account` on a pseudo-terminal of its own, in the login
    session: it is the session leader of that terminal, as after a login."""

    running = []

    def __init__(self, account, argv, env=None, in_session=True):
        user = pwd.getpwnam(account)
        Terminal.running.append(self)
        self.output = ''
        self.seen = 0
        self.status = None
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                os.fchown(0, user.pw_uid, grp.getgrnam('tty').gr_gid)
                if in_session:
                    with open(os.path.join(ENV['PRIVET_SCOPE'], 'cgroup.procs'), 'w') as procs:
                        procs.write('0')
                os.initgroups(account, user.pw_gid)
                os.setgid(user.pw_gid)
                os.setuid(user.pw_uid)
                os.chdir(user.pw_dir)
                environment = {
                    'HOME': user.pw_dir, 'USER': account, 'LOGNAME': account, 'SHELL': '/bin/bash',
                    'PATH': '/usr/local/bin:/usr/bin:/bin', 'LANG': 'C.UTF-8', 'TERM': 'xterm',
                    'XDG_RUNTIME_DIR': f'/run/user/{user.pw_uid}', 'XDG_SESSION_ID': SESSION,
                    'PRIVET_SESSION': SESSION, 'PRIVET_PREFIX': PREFIX, **(env or {})}
                os.execvpe(argv[0], argv, environment)
            except BaseException as error:  # noqa: B036 - the child must not return
                os.write(2, f'cannot start {argv[0]}: {error}\r\n'.encode())
            os._exit(127)

    def _pump(self, timeout):
        """Reads what the terminal shows for at most `timeout` seconds;
        False once nothing more can come."""
        if self.fd is None:
            return False
        ready, _, _ = select.select([self.fd], [], [], max(timeout, 0))
        if not ready:
            return True
        try:
            data = os.read(self.fd, 4096)
        except OSError:
            data = b''
        if not data:
            os.close(self.fd)
            self.fd = None
            return False
        self.output += data.decode(errors='replace').replace('\r\n', '\n')
        return True

    def expect(self, pattern, timeout):
        """Waits for `pattern` in what the terminal shows after the last match."""
        deadline = time.monotonic() + timeout
        while True:
            found = re.search(pattern, self.output[self.seen:], re.M)
            if found:
                self.seen += found.end()
                return found
            if self._exited() or not self._pump(min(0.2, deadline - time.monotonic())) \
                    or time.monotonic() >= deadline:
                return None

    def type_secret(self, text, timeout=5):
        """Types `text` once the terminal no longer echoes: the prompt turns
        echo off with TCSAFLUSH, which would drop anything typed earlier."""
        deadline = time.monotonic() + timeout
        while termios.tcgetattr(self.fd)[3] & termios.ECHO and time.monotonic() < deadline:
            self._pump(0.05)
        os.write(self.fd, (text + '\n').encode())

    def _exited(self):
        if self.status is None:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
        return self.status is not None

    def finish(self, timeout):
        """Waits for the program to end; its exit status, None if it did not
        end in time."""
        deadline = time.monotonic() + timeout
        while not self._exited() and time.monotonic() < deadline:
            self._pump(0.2)
        if self._exited():
            end = time.monotonic() + 0.3
            while time.monotonic() < end and self._pump(0.1):
                pass
        self.close()
        return self.status

    def close(self):
        """Ends the program and whatever else it left on its terminal."""
        if self in Terminal.running:
            Terminal.running.remove(self)
        try:
            os.killpg(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        if self.status is None:
            try:
                self.status = os.waitstatus_to_exitcode(os.waitpid(self.pid, 0)[1])
                self.status = None if self.status < 0 else self.status
            except ChildProcessError:
                pass
        if self.fd is not None:
            os.close(self.fd)
            self.fd = None

    def transcript(self):
        return one_line(self.output)


# ---- the cases, run as root --------------------------------------------------

ADMIN, ADMIN_PASSWORD = ENV.get('PRIVET_ADMIN'), ENV.get('PRIVET_ADMIN_PASSWORD')
USER, USER_PASSWORD = ENV.get('PRIVET_USER'), ENV.get('PRIVET_USER_PASSWORD')
PYTHON = '/usr/bin/python3'
ELEVATION_RUN = [HELPER, HELPER, 'install', 'Library.QuickTime', PAYLOAD]


def program(name):
    """The path of the program NAME.py beside this one."""
    return os.path.join(HERE, f'{name}.py')


class Failure(Exception):
    pass


def ended(status):
    return 'did not end in time' if status is None else f'exited {status}'


def check(condition, why):
    if not condition:
        raise Failure(why)


def library_contents():
    return sorted(os.path.join(folder, name) for top in ('/Library', '/System/Library')
                  for folder, folders, files in os.walk(top) for name in folders + files)


def clear_library():
    for top in ('/Library', '/System/Library'):
        for name in os.listdir(top):
            subprocess.run(['rm', '-rf', os.path.join(top, name)], check=True)


def installed_by_root():
    try:
        return all(os.lstat(path).st_uid == 0 for path in (INSTALLED, INSTALLED + '/Contents/Info.plist'))
    except FileNotFoundError:
        return False


def summary(output):
    found = re.search(r'^\s*payloadSystemSummary\s+(.*)$', output, re.M)
    return found.group(1).strip() if found else None


class Agent:
    """An authentication agent of the session's user on a terminal of its own."""

    def __init__(self, kind):
        self.terminal = Terminal(USER, [PYTHON, program(kind)])
        check(self.terminal.expect('agent registered', 15), f'the {kind} did not register: {self.terminal.transcript()}')

    def __enter__(self):
        return self.terminal

    def __exit__(self, *_):
        self.terminal.close()


def authenticate(terminal, password, timeout=20):
    """Waits for polkit's password prompt for the administrator and types `password`."""
    check(terminal.expect(PASSWORD_PROMPT, timeout), f'no password prompt: {terminal.transcript()}')
    check(re.search(rf'Authenticating as: .*\b{ADMIN}\b', terminal.output),
          f'polkit did not ask for {ADMIN}: {terminal.transcript()}')
    terminal.type_secret(password)


def pane_status(action, password, timeout):
    """pane-status sends Install or Remove as the user; the session's agent
    asks, once."""
    with Agent('text_agent') as agent:
        run = Terminal(USER, [PANE_STATUS, action, 'digitizer', '--timeout', str(timeout)])
        authenticate(agent, password)
        status = run.finish(timeout + 15)
        check(len(re.findall(PASSWORD_PROMPT, agent.output, re.M)) == 1, f'asked more than once: {agent.transcript()}')
    return status, run


def elevation_run(password):
    """The helper's elevation run started by hand, pkttyagent for it on the same terminal."""
    run = Terminal(USER, [PYTHON, program('tty_agent_exec'), *ELEVATION_RUN])
    authenticate(run, password)
    return run.finish(20), run


def nothing_installed():
    left = library_contents()
    check(not left, f'written under /Library: {left}')


def case_session():
    check_session = ['sh', '-c', 'exec pkcheck --action-id com.fernhill.privet.test-session --process $$']
    inside, outside = Terminal(USER, check_session), Terminal(USER, check_session, in_session=False)
    check(inside.finish(10) == 0, f'polkit does not see an active local session: {inside.transcript()}')
    check(outside.finish(10) == 1, f'polkit sees a session outside it: {outside.transcript()}')


def case_install():
    status, run = pane_status('--install', ADMIN_PASSWORD, 20)
    check(status == 0, f'pane-status {ended(status)}: {run.transcript()}')
    check('ARGUMENT_COUNT' not in run.output, f"the helper's lines reached the terminal: {run.transcript()}")
    check(summary(run.output) == 'Fernhill Digitizer 1.8 (IS UP TO DATE)', f'summary {summary(run.output)!r}')
    check(installed_by_root(), f'{INSTALLED} is not there, owned by root')
    # Already installed: nothing is asked for, and nothing is done.
    again = Terminal(USER, [PANE_STATUS, '--install', 'digitizer'])
    status = again.finish(20)
    check(status == 0 and 'digitizer: unchanged: already installed and up to date' in again.output,
          f'a second Install {ended(status)}: {again.transcript()}')


def case_wrong_password_elevation_run():
    status, run = elevation_run('not-the-password')
    check(status == 155, f'the elevation run {ended(status)}, not 155: {run.transcript()}')
    nothing_installed()


def case_wrong_password_pane_status():
    status, run = pane_status('--install', 'not-the-password', 8)
    nothing_installed()
    check(status == 1 and 'Install did not complete: administrator rights were refused' in run.output,
          f'pane-status {ended(status)} though nothing was installed: {run.transcript()}')


def case_cancel():
    with Agent('cancel_agent') as agent:
        run = Terminal(USER, [PANE_STATUS, '--install', 'digitizer', '--timeout', '8'])
        status = run.finish(20)
        check(agent.expect('cancelled', 2), f'the agent was not asked: {agent.transcript()}')
    # The elevation run ended with 154, which pane-status reports.
    check(status == 1 and "Install did not complete: the request for an administrator's password was cancelled"
          in run.output,
          f'pane-status {ended(status)}: {run.transcript()}')
    nothing_installed()


def case_own_password():
    status, run = elevation_run(USER_PASSWORD)
    check(status == 155, f'the elevation run {ended(status)}, not 155: {run.transcript()}')
    nothing_installed()


def case_remove():
    if not installed_by_root():
        subprocess.run(['cp', '-a', PAYLOAD, INSTALLED], check=True)
    status, run = pane_status('--remove', ADMIN_PASSWORD, 20)
    check(status == 0, f'pane-status {ended(status)}: {run.transcript()}')
    check(summary(run.output) == 'NOT INSTALLED', f'summary {summary(run.output)!r}')
    check(not os.path.exists(INSTALLED), f'{INSTALLED} is still there')


def case_failed_install_says_why():
    """The run fails as root; the reason reaches the user who asked as soon
    as it has ended, from a record that only root writes and only that user
    reads."""
    folder = os.path.dirname(INSTALLED)
    os.makedirs(folder)
    subprocess.run(['mount', '-t', 'tmpfs', '-o', 'ro,mode=0755', 'read-only-library', folder], check=True)
    try:
        started = time.monotonic()
        status, run = pane_status('--install', ADMIN_PASSWORD, 60)
        took = time.monotonic() - started
    finally:
        subprocess.run(['umount', folder], check=True)
        os.rmdir(folder)
    said = [line for line in run.output.splitlines() if 'did not complete' in line]
    check(status == 1 and 'Install did not complete: the Library folder is read-only' in run.output,
          f'pane-status {ended(status)}: {said}')
    check(took < 40, f'the reason came only after {took:.0f} s of a 60 s bound')
    user = pwd.getpwnam(USER)
    record = os.stat(f'/run/privet-outcomes/{user.pw_uid}/Library.QuickTime')
    check(record.st_uid == 0 and record.st_mode & 0o777 == 0o640 and record.st_gid == user.pw_gid,
          f'the record is {record.st_uid}:{record.st_gid} {oct(record.st_mode)}')
    nothing_installed()


def case_foreign_program():
    # A shell command, and a program of the user's that only bears a helper's name.
    impostor = f'/home/{USER}/KestrelInstallHelper'
    with open(impostor, 'w') as script:
        script.write(f'#!/bin/sh\nid > {MARKER}\n')
    user = pwd.getpwnam(USER)
    os.chown(impostor, user.pw_uid, user.pw_gid)
    os.chmod(impostor, 0o755)
    faults = []
    for request in (['/bin/sh', '-c', f'id > {MARKER}'],
                    [impostor, impostor, '--self-repair', 'install', 'Library.QuickTime', PAYLOAD]):
        before = processes()
        with Agent('text_agent') as agent:
            run = Terminal(USER, [PYTHON, program('launcher_probe'), LAUNCHER, *request])
            authenticate(agent, ADMIN_PASSWORD)
            status = run.finish(20)
        # A program the launcher started would have written by the time it ended.
        check(wait_until(lambda: not processes() - before, scaled(10)),
              f'still running after the launcher ended: {process_names(processes() - before)}')
        check('granted' in run.output, f'pkexec did not start the launcher ({ended(status)}): {run.transcript()}')
        if os.path.exists(MARKER):
            with open(MARKER) as marker:
                faults.append(f'it started {request[0]} as root ({marker.read().strip()}), {run.transcript()}')
            os.unlink(MARKER)
        elif not re.search(r"replied b'failed \d+\\n'", run.output):
            faults.append(f'it did not refuse {request[0]}: {run.transcript()}')
    check(not faults, '; '.join(faults))
    nothing_installed()


def case_preferences_click():
    # -noreset: the server would reset, and refuse connections for a while, each
    # time its last client leaves (the accessibility bus's launcher is the first).
    # -displayfd: it says its display once it takes connections.
    ready, said = os.pipe()
    x_server = subprocess.Popen(['Xvfb', ':7', '-screen', '0', '1024x768x24', '-nolisten', 'tcp', '-noreset',
                                 '-displayfd', str(said)], pass_fds=[said],
                                stdout=subprocess.DEVNULL, stderr=open('/tmp/xvfb.log', 'w'))
    os.close(said)
    started = []
    try:
        # The number and its newline come in two writes: read to the end of the
        # line, since a pipe closed in between ends the server.
        display, deadline = b'', time.monotonic() + scaled(10)
        while not display.endswith(b'\n') and select.select([ready], [], [], max(deadline - time.monotonic(), 0))[0]:
            piece = os.read(ready, 16)
            if not piece:
                break
            display += piece
        os.close(ready)
        check(display == b'7\n', 'Xvfb did not start')
        bus = f'unix:path=/run/user/{pwd.getpwnam(USER).pw_uid}/bus'
        desktop = {'DISPLAY': ':7', 'DBUS_SESSION_BUS_ADDRESS': bus}
        started.append(Terminal(USER, ['dbus-daemon', '--session', '--nofork', '--address', bus], desktop))
        check(wait_until(lambda: os.path.exists(bus[len('unix:path='):]), 10), 'no session bus')
        started.append(Terminal(USER, ['/usr/libexec/at-spi-bus-launcher', '--launch-immediately'], desktop))
        with Agent('text_agent') as agent:
            # Its standard error to a file: nobody reads its terminal meanwhile, and
            # a sanitizer build that fills it would stop there.
            preferences = Terminal(USER, ['sh', '-c', 'exec "$0" "$@" 2>>/tmp/preferences.log', PREFERENCES,
                                          '--select', 'Kestrel'],
                                   {**desktop, 'QT_QPA_PLATFORM': 'xcb', 'QT_LINUX_ACCESSIBILITY_ALWAYS_ON': '1'})
            started.append(preferences)
            click = Terminal(USER, [PYTHON, program('click_install')], {**desktop, 'PRIVET_TEST_SLOWDOWN': str(SLOWDOWN)})

            def stopped(why):
                running = 'runs' if x_server.poll() is None else f'exited {x_server.returncode}'
                return Failure(f'{why}; Preferences {preferences_state(preferences)}; '
                               f'Xvfb {running}, said: {said_in("/tmp/xvfb.log", 800)}')

            # Each thing the click needs, in turn, each with its own bound; the
            # click program itself says which of its waits ran out.
            for shown, bound in (('found: the window on the accessibility bus', scaled(60) + 10),
                                 ('clicking Install at', scaled(30) + 10)):
                if not click.expect(shown, bound):
                    raise stopped(f'the click did not get as far as "{shown}" within {bound:.0f} s: {click.transcript()}')
            try:
                authenticate(agent, ADMIN_PASSWORD, timeout=scaled(20))
            except Failure as failure:
                raise stopped(f'{failure} (within {scaled(20):.0f} s of the click); the click: {click.transcript()}') \
                    from None
            status = click.finish(scaled(40) + 10)
        check(status == 0 and 'window shows: Fernhill Digitizer 1.8 (IS UP TO DATE)' in click.output,
              f'the click did not install ({ended(status)}): {click.transcript()}')
        check('accessible tree: as a screen reader needs it' in click.output,
              f'the window does not read well to a screen reader: {click.transcript()}')
        check('announced: Fernhill Digitizer 1.8 (IS UP TO DATE)' in click.output,
              f'the new status was not announced: {click.transcript()}')
        check(installed_by_root(), f'{INSTALLED} is not there, owned by root')
        report = Terminal(USER, [PANE_STATUS])
        report.finish(20)
        check(summary(report.output) == 'Fernhill Digitizer 1.8 (IS UP TO DATE)',
              f'pane-status says {summary(report.output)!r}')
    finally:
        for terminal in reversed(started):
            terminal.close()
        x_server.kill()
        x_server.wait()


def one_line(text, limit=600):
    """The lines of `text` that say something, joined; the last `limit` characters."""
    return ' | '.join(line.strip() for line in text.splitlines() if line.strip())[-limit:]


def said_in(path, limit):
    try:
        with open(path, errors='replace') as log:
            return one_line(log.read(), limit) or 'nothing'
    except OSError:
        return 'nothing'


def preferences_state(preferences):
    """Whether Preferences still runs, and the end of what it wrote."""
    state = 'still runs' if not preferences._exited() else ended(preferences.status)
    return f'{state}, said: {said_in("/tmp/preferences.log", 1500)}'


def polkit_version():
    found = re.search(r'(\d+)', subprocess.run(['pkexec', '--version'], capture_output=True, text=True).stdout)
    return int(found.group(1)) if found else 0


def case_own_prompt():
    # No agent: pane-status's helper starts polkit's text agent on its terminal.
    run = Terminal(USER, [PANE_STATUS, '--install', 'digitizer', '--timeout', '20'])
    authenticate(run, 'not-the-password')
    status = run.finish(25)
    check(status == 1 and 'Install did not complete: administrator rights were refused' in run.output,
          f'pane-status {ended(status)} after a wrong password: {run.transcript()}')
    nothing_installed()
    run = Terminal(USER, [PANE_STATUS, '--install', 'digitizer', '--timeout', '20'])
    authenticate(run, ADMIN_PASSWORD)
    status = run.finish(25)
    check(status == 0 and installed_by_root(), f'pane-status {ended(status)}: {run.transcript()}')


def case_no_terminal_no_agent():
    run = Terminal(USER, ['setsid', '--wait', PANE_STATUS, '--install', 'digitizer', '--timeout', '20'])
    started = time.monotonic()
    status = run.finish(25)
    took = time.monotonic() - started
    check(status == 1 and 'Install did not complete: no authentication agent is running' in run.output
          and took < 10, f'pane-status {ended(status)} after {took:.1f} s: {run.transcript()}')
    nothing_installed()


def case_timeout_while_asked():
    run = Terminal(USER, [PANE_STATUS, '--install', 'digitizer', '--timeout', '4'])
    check(run.expect(PASSWORD_PROMPT, 15), f'no password prompt: {run.transcript()}')
    asked = time.monotonic()
    status = run.finish(20)
    took = time.monotonic() - asked
    check(status == 1 and 'no outcome within 4 seconds' in run.output and took < 10,
          f'pane-status {ended(status)} {took:.1f} s after the prompt: {run.transcript()}')
    nothing_installed()


def processes():
    return {int(name) for name in os.listdir('/proc') if name.isdigit()}


def process_names(pids):
    names = []
    for pid in sorted(pids):
        try:
            with open(f'/proc/{pid}/cmdline', 'rb') as cmdline:
                names.append(cmdline.read().replace(b'\0', b' ').decode(errors='replace').strip() or str(pid))
        except OSError:
            pass
    return names


def wait_until(condition, timeout):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() >= deadline:
            return False
        time.sleep(0.1)
    return True


CASES = [
    ('0', "polkit sees the user's terminal as an active local session", case_session),
    ('1', 'install through pane-status, administrator password', case_install),
    ('5', 'remove through pane-status, administrator password', case_remove),
    ('2', 'wrong password: the elevation run ends with 155', case_wrong_password_elevation_run),
    ('2', 'wrong password: pane-status fails', case_wrong_password_pane_status),
    ('3', 'Cancel in the agent: the elevation run ends with 154, pane-status fails', case_cancel),
    ('4', "the user's own password is refused", case_own_password),
    ('11', 'a failed install says why to the user who asked, at once', case_failed_install_says_why),
    ('6', 'the launcher refuses a program that is not an install helper', case_foreign_program),
    ('7', 'a click on Install in the Preferences window, read over AT-SPI', case_preferences_click),
    ('8', "no agent: pane-status's own prompt refuses a wrong password, then installs", case_own_prompt),
    ('9', 'no terminal and no agent: pane-status fails at once and says why', case_no_terminal_no_agent),
    ('10', '--timeout ends the wait while the password is asked for', case_timeout_while_asked),
]


def main():
    wanted = ENV.get('PRIVET_CASES', '').split()
    passed = failed = 0
    for number, name, case in CASES:
        if wanted and number not in wanted:
            continue
        if case is not case_remove:
            clear_library()
        if os.path.exists(MARKER):
            os.unlink(MARKER)
        started = time.monotonic()
        try:
            note = case()
            outcome = f'passed ({note})' if note else 'passed'
            passed += 1
        except Failure as failure:
            outcome = f'FAILED: {failure}'
            failed += 1
        except Exception as error:  # noqa: BLE001 - a broken case is a failed one
            outcome = f'FAILED: {type(error).__name__}: {error}'
            failed += 1
        for terminal in list(Terminal.running):
            terminal.close()
        print(f'case {number} {name}: {outcome} ({time.monotonic() - started:.1f} s)', flush=True)
    print(f'{passed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
