// Texts between trusted computers over the private channel: "QVP/1 TEXT <n>\n", then n
// bytes of UTF-8, answered "QVP/1 STORED\n" once the text is shown, or "QVP/1 REFUSED
// <text>\n". A text is only shown (the window port's portShowText) and kept in the
// history; it never becomes a file in the store.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "transfer/link.h"
#include "trust/trusted_list.h"

// How long a text's bytes may take to arrive after its request line.
constexpr int kTextBytesMilliseconds = 10000;
// How long its sender waits for the answer: the receiver may ask its user first.
constexpr int kTextAnswerMilliseconds = 45000;

// The receiver's side, after a TEXT line of length bytes. Only a trusted computer's text
// is read; it must be valid UTF-8 without NUL, and it is shown, named by the computer's
// trusted name, when the receive policy lets that computer's transfers in (the user is
// asked first when the policy says so). Anything else is answered REFUSED and shown as
// a refusal.
void servePrivateText(Link& link, uint32_t sender, const std::optional<TrustedComputer>& trusted, size_t length);

// The sender's side, on a session whose TEXT line is written: the text's bytes, then the
// answer. The receiver's refusal text in *refusal.
enum class TextAnswer { Stored, Refused, NoAnswer };
TextAnswer sendTextOver(Link& link, const std::string& text, std::string* refusal);
