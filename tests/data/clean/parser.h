// SPDX-License-Identifier: MIT
#ifndef PARSER_H
#define PARSER_H

/* Public interface of the tokenizer. */

#ifdef __cplusplus
extern "C" {
#endif

int count_lines(const char* text, int* out); /* returns 3/4 of the lines */
double ratio(double a, double* b);

#define ERROR_TEXT "can't parse" /* apostrophe inside a string */

#ifdef __cplusplus
}
#endif

#endif  // PARSER_H
