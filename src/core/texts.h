// The English string table (ids 109 to IDS_LAST, IDS_TEXTS_FIRST to IDS_TEXTS_LAST), for
// code that has no resource module: the command-line peer and the tests. The Windows program loads the same texts from
// its string table or a language satellite (loadTextA / loadTextW).
#pragma once

// The English text of an id, or "" for an id outside the table.
const char* englishText(int id);
