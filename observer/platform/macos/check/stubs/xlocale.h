// The locale-taking C library functions of macOS (xlocale(3)) that libc++ calls from its
// headers when it is configured for an Apple target, declared over the host's C library
// so that libc++ can be checked for a macOS target without an SDK. The host's C library
// declares the others that libc++ calls (newlocale, isdigit_l, strtoll_l...); these are
// the BSD ones that it lacks.
#pragma once

#include <ctype.h>
#include <locale.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <wchar.h>

// The host defines some of the ctype functions as macros that dereference the locale;
// macOS has functions, and libc++ passes 0 for the C locale.
#undef isalnum_l
#undef isalpha_l
#undef isblank_l
#undef iscntrl_l
#undef isdigit_l
#undef isgraph_l
#undef islower_l
#undef isprint_l
#undef ispunct_l
#undef isspace_l
#undef isupper_l
#undef isxdigit_l
#undef tolower_l
#undef toupper_l

#ifdef __cplusplus
extern "C" {
#endif

int snprintf_l(char* buffer, size_t size, locale_t locale, const char* format, ...);
int asprintf_l(char** result, locale_t locale, const char* format, ...);
int sscanf_l(const char* text, locale_t locale, const char* format, ...);
struct lconv* localeconv_l(locale_t locale);
int ___mb_cur_max_l(locale_t locale);
#define MB_CUR_MAX_L(locale) ((size_t)___mb_cur_max_l(locale))
wint_t btowc_l(int c, locale_t locale);
int wctob_l(wint_t c, locale_t locale);
size_t mbrtowc_l(wchar_t* result, const char* text, size_t size, mbstate_t* state, locale_t locale);
int mbtowc_l(wchar_t* result, const char* text, size_t size, locale_t locale);
size_t mbrlen_l(const char* text, size_t size, mbstate_t* state, locale_t locale);
size_t wcrtomb_l(char* result, wchar_t c, mbstate_t* state, locale_t locale);
size_t mbsrtowcs_l(wchar_t* result, const char** text, size_t size, mbstate_t* state, locale_t locale);
size_t mbsnrtowcs_l(wchar_t* result, const char** text, size_t count, size_t size, mbstate_t* state,
                    locale_t locale);
size_t wcsnrtombs_l(char* result, const wchar_t** text, size_t count, size_t size, mbstate_t* state,
                    locale_t locale);

#ifdef __cplusplus
}
#endif
