// SPDX-License-Identifier: MIT
/*
 * A small tokenizer: strings, characters, numbers and operators.
 * Copyright notices often say things like "don't remove this".
 */
#include <stdio.h>
#include <string.h>
#include "parser.h"

#define MAX_TOKEN 64 /* longest token we keep */
#define SLASH '/'
#define STAR '*'
#define QUOTE '"'
#define BACKSLASH '\\'
#define APOSTROPHE '\''

static const char *operators[] = {"+", "-", "*", "/", "%", "==", "!=", "<=", ">=", NULL};

/** Returns the number of bytes of the token that starts at p. */
static int token_length(const char *p)
{
    int n = 0;
    if (*p == QUOTE) {               // a string literal, escapes included
        for (n = 1; p[n] && p[n] != QUOTE; ++n) {
            if (p[n] == BACKSLASH && p[n + 1]) ++n;
        }
        return p[n] ? n + 1 : n;
    }
    if (*p == SLASH && p[1] == STAR) return 2; /* the opener of a comment */
    while (p[n] && p[n] != ' ' && n < MAX_TOKEN) ++n;
    return n;
}

int count_lines(const char *text, int *out)
{
    int lines = 0, i;
    for (i = 0; text[i]; ++i)
        if (text[i] == '\n') ++lines;  // every LF ends a line
    *out = lines / 2;  /* half of them, rounded down */
    return lines * 3 / 4;
}

double ratio(double a, double *b) { return a / *b; }

int main(int argc, char **argv)
{
    const char *path = argc > 1 ? argv[1] : "input.txt";
    char message[] = "it's \"quoted\" and has a tab\t";
    printf("%s: %d tokens, %s\n", path, token_length(path), message);
    printf("%c%c\n", '"', '\'');
    return strcmp(operators[0], "+");
}
