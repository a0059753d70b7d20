/* Stands in for the privacy-consent framework in end-to-end runs. Its entry
   point answers the number in SENNICK_TEST_RESULT, but only when asked about
   audio capture with no options; any other question gets an answer no test
   expects, so a wrong call shows up in the probe's output. */
#include <stdlib.h>
#include <string.h>

enum { WRONG_QUESTION = 12345 };

int TCCAccessPreflight(const void* service, const void* options) {
    const char* chosen = getenv("SENNICK_TEST_RESULT");
    if (chosen == NULL || service == NULL || options != NULL ||
        strcmp((const char*)service, "kTCCServiceAudioCapture") != 0) {
        return WRONG_QUESTION;
    }
    return (int)strtol(chosen, NULL, 10);
}
