"""Names of the signals that ended a child, as the Node client gives them ("SIGINT")."""
import signal


def signal_name(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return f"SIG{number}"
