# Writes the header with the program's version and build date; run with `cmake -P` at
# every build of the Windows program (-DOUT=<header> -DVERSION=<major.minor.patch>).
# The About box takes the date from it, the version resource the text version, so the
# two always show the same build. The header is rewritten only when its text changes.

# One reading of the clock (local time, as the compiler's __DATE__; SOURCE_DATE_EPOCH,
# when set, stands for the clock here as it does for the compiler).
string(TIMESTAMP now "%Y %m %d")
string(REPLACE " " ";" now "${now}")
list(GET now 0 year)
list(GET now 1 month)
list(GET now 2 day)
set(names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR index "${month} - 1")
list(GET names ${index} name)
# The __DATE__ form pads a day below 10 with a space: "Mar  5 2015".
string(REGEX REPLACE "^0" " " padded_day "${day}")
string(SUBSTRING "${year}" 2 2 yy)
string(REPLACE "." "," numeric "${VERSION}.0")

file(CONFIGURE OUTPUT "${OUT}" @ONLY CONTENT [[
// Made at build time by cmake/version_header.cmake.
#ifndef VORDA_VERSION_H
#define VORDA_VERSION_H

// The build date in the compiler's __DATE__ form.
#define VORDA_BUILD_DATE "@name@ @padded_day@ @year@"
// The version resource's numeric version and its text version "<version>.YYMMDD".
#define VORDA_FILE_VERSION @numeric@
#define VORDA_VERSION_TEXT "@VERSION@.@yy@@month@@day@"

#endif
]])
