"""Host-side client of quorvel and sennick, standard library only; see the README."""
from .events import APP_LABELS, EVENT_KINDS, parse_event_line
from .process import DEFAULTS, REPORTS, QuorvelProcess
from .sennick import microphone_permission, run_sennick

__all__ = ["APP_LABELS", "DEFAULTS", "EVENT_KINDS", "REPORTS", "QuorvelProcess", "microphone_permission",
           "parse_event_line", "run_sennick"]
