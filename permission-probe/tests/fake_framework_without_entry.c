/* A library that loads but lacks the preflight entry point. */

int TCCAccessPreflightIsMissingHere(void) {
    return 0;
}
