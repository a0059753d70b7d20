"""The lines of a child's two streams. Events are split at b"\n" only (str.splitlines()
would also split at U+2028) and kept whole however long; diagnostic lines, for people,
are bounded."""

LOG_LINE_BYTES = 4096


def event_lines(stream):
    """(line, terminated) for each line; the last may lack its line feed."""
    for raw in stream:
        terminated = raw.endswith(b"\n")
        yield (raw[:-1] if terminated else raw).decode("utf-8", errors="replace"), terminated


def log_lines(stream):
    """Each line as a string; a line longer than LOG_LINE_BYTES is read past, never held,
    and stands as a note of its length."""
    while True:
        chunk = stream.readline(LOG_LINE_BYTES + 1)
        if not chunk:
            return
        if chunk.endswith(b"\n") or len(chunk) <= LOG_LINE_BYTES:
            yield chunk.rstrip(b"\n").decode("utf-8", errors="replace")
            continue
        length = len(chunk)
        while not chunk.endswith(b"\n"):
            chunk = stream.readline(LOG_LINE_BYTES + 1)
            if not chunk:
                break
            length += len(chunk)
        if chunk.endswith(b"\n"):
            length -= 1
        yield f"(a line of {length} bytes left out)"
