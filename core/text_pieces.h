// Long lines shown in pieces. A text box lays out a line as a whole, at a
// cost that grows faster than the line (a 1 MB line without a break: many
// minutes), so a line longer than kPieceLength is shown as pieces of at most
// that length, each on a display line of its own, joined by seams. The text,
// selections, copying and playback see the one line; the functions here
// translate between the text and what a box shows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::size_t kPieceLength = 2048;

// Where a piece that starts at `from` on a line ending at `lineEnd` ends: at
// most kPieceLength units on, preferably just after a space or a wide
// character, where the line could wrap anyway, never inside a surrogate pair.
// A box may ask for shorter pieces (Wine's EDIT wraps a piece at a cost that
// grows with the square of its length).
std::size_t PieceEnd(std::u16string_view text, std::size_t from, std::size_t lineEnd,
                     std::size_t pieceLength = kPieceLength);

// The text as shown: `seam` between the pieces of every line longer than
// kPieceLength, pieces of at most pieceLength (CR and LF both end a line). The seam must be a
// string the text never holds (the Windows box's "\r\r\n" in a CR LF text).
std::u16string PiecedText(std::u16string_view text, std::u16string_view seam,
                          std::size_t pieceLength = kPieceLength);

// What is shown back to the text: every seam left out.
std::u16string UnpiecedText(std::u16string_view shown, std::u16string_view seam);

// Where a position of the text is in what is shown. A position at a seam is
// after it when `afterSeam` (a selection's start), else before it (its end).
std::size_t ShownPosition(std::u16string_view shown, std::size_t pos, std::u16string_view seam,
                          bool afterSeam);

// Where a position of what is shown is in the text: one inside a seam is
// where the seam stands.
std::size_t TextPosition(std::u16string_view shown, std::size_t pos, std::u16string_view seam);
