#!/usr/bin/perl -p
# Lays a program's --help out for help2man, which takes the text after two
# or more spaces (or on the next, indented line) as an option's description:
# where the option column overflows and only one space is left between an
# option (with its value type) and its description, the description moves to
# the next line.
s/^(\s+-\S+(?>(?: [A-Z][A-Z0-9:_.|\[\]]*(?:=\S*)?(?=\s))?)) (?=\S)/$1\n                              /;
