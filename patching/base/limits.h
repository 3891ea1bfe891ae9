#ifndef ZEL_LIMITS_H
#define ZEL_LIMITS_H

#include <QtGlobal>

// Every bound the tool puts on what an installation may make it do: the installation is untrusted
// input, so each read, answer and loop has one, and each bound has this one home.
namespace Limits {
// Largest file loaded into memory: far above any Qt 4 library, and safely below what a Qt 5 byte array holds.
constexpr qint64 maxLoadableFileSize = qint64(1) << 30;
// Largest text file (configuration, build metadata) rewritten line by line; real ones hold a few KiB.
// Its rules cost about its size again, and a patch of a file edited since holds it, its backup and
// the new content at once.
constexpr qint64 maxTextFileSize = qint64(256) << 20;
// The bytes of files the plan keeps for their workers, all files together, and the largest file it
// keeps; past them a worker reads again. Small: on trees of 12,000 and 50,000 files, reading a large
// file again from the page cache cost less time than keeping every file in fresh memory until its
// worker came, and a fraction of the memory.
constexpr qint64 heldBytesBudget = qint64(4) << 20;
constexpr qint64 maxHeldFileSize = qint64(1) << 20;
// Files are compared and written in place one piece of this size at a time.
constexpr qint64 pieceSize = qint64(1) << 20;
// No real path slot holds more; no search goes further from a key.
constexpr qsizetype maxSlotSpan = 4096;
// No path of a real installation is longer (PATH_MAX on Linux); nor does a scan go further.
constexpr qsizetype maxPathLength = 4096;
// Distinct prefixes one installation may record; a real one records one to three.
constexpr int maxOldRoots = 32;
// Earlier places a text file may have been patched for that are tried to recognise the tool's own lines.
constexpr int maxEarlierPlaces = 8;
// The longest installation root the window and the front end accept.
constexpr int maxQtPathLength = 200;
// The most of qconfig.pri or qmodule.pri read for the build's facts: a real one holds a few KiB.
constexpr qint64 maxFactsFileSize = qint64(1) << 20;
// Folders of lib looked into for a generation's files (a distribution's multiarch folder is one of few).
constexpr int maxMarkerFolders = 64;
// Files of a generation's marks read to tell whether they hold its slots.
constexpr int maxMarkedFiles = 16;
// The record of a Qt 5 or later path slot, and of a Windows one up to Qt 5.7: no slot is written past it.
constexpr qsizetype slotRecord = 256 + 12;
constexpr qsizetype windowsSlotRecord = 512 + 12;
// Slots found before a file's prefix that wait for it; past them a file is no Qt build as configure
// lays it out, and they take Qt's default places.
constexpr int maxWaitingSlots = 64;
// Places a line index looks at for a line before it gives up on it (the line is then not indexed, and
// counts as one the tool did not write): crafted lines that all collide (Qt 5's hash of bytes is not
// keyed) must not make an index cost the square of the file. At most half full, a real one looks at two.
constexpr int maxLineProbes = 64;
// ELF strings nested in others are each read whole again: never more than this many bytes in all.
constexpr quint64 elfStringBytesBound(quint64 tableSize) { return 4 * tableSize + 4096; }
// Places of one text file looked for on disk to judge whether it names a place now gone; paths shown
// for one file by inspect (every one is judged).
constexpr int maxPathsJudged = 256;
// A file's security.capability attribute is 24 bytes at most today; room for any later version.
constexpr int maxCapabilitySize = 256;
// What verify accepts of one `qmake -query` answer, and how long it waits for it.
constexpr int maxAnswerKiB = 64;
constexpr int queryTimeoutMs = 10000;
// The characters of an odd answer, or of qmake's output, that a report shows.
constexpr int maxAnswerShown = 240;
} // namespace Limits

#endif
