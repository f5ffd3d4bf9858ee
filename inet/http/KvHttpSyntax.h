// The shape of a request's lines, checked before anything acts on them.
//
// A proxy that forwards what it cannot read the way the next server reads
// it lets the two disagree about where a request ends or what it asks
// for. These checks tell the lines that have one reading only.
//
// Pure functions over their arguments: any thread may call them.
#pragma once

#include <string_view>

// A method, target and HTTP/1.x version separated by single spaces: the
// method a token, the target without control bytes or spaces, the version
// "HTTP/1." and one digit. False for anything else (HTTP/0.9's two-part
// line, a space inside the target, a junk version, a control byte).
bool KvIsWellFormedRequestLine(std::string_view line);

// A header line "name:value": the name a token directly followed by the
// colon, the value without control bytes other than tab. False for a
// folded continuation (a line beginning with a blank), a line without a
// colon or name, and whitespace before the colon.
bool KvIsWellFormedFieldLine(std::string_view line);

// One of the characters a token (a method or a header name) may hold.
bool KvIsTokenChar(unsigned char ch);
