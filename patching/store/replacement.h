#ifndef ZEL_REPLACEMENT_H
#define ZEL_REPLACEMENT_H

#include "patching/base/fileoutcome.h"
#include "patching/store/fileoperations.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryFile>

#include <memory>

// A new file for the name `path`, made whole as <name>.XXXXXX.zeltmp in the same directory, filled,
// synced, then given the name in one step by a commit.
// Guarantee: until a commit succeeds `path` is as it was, and a replacement dropped uncommitted removes its temporary file.
// (One exception, on Windows: when ReplaceFileW has lost the replaced file and the new one cannot take
// its name, the new file is the only copy of the bytes and is kept, the failure saying so.)
class Replacement {
public:
    explicit Replacement(const QString &path, const FileOperations &operations = FileOperations::system());

    // Makes the temporary file.
    bool open(Failure *failure);
    // Writes `data`, gives the file the owner, group and mode of the open `model` (set-id bits only
    // with `keepSetId`), its extended attributes when `attributeRefused` is given (set when one of
    // them is refused), and syncs it.
    bool fill(const QByteArray &data, QFile &model, bool keepSetId, Failure *failure, bool *attributeRefused = nullptr);
    // Puts the file in the place of `path`, whatever is there: the name is replaced, never written
    // through, so that other hard links keep their bytes; on Windows the file takes what ReplaceFileW
    // keeps of the replaced one (attributes, security descriptor, streams).
    bool commit(Failure *failure);
    // Gives the file the name `path` only while nothing has it.
    bool commitNew(Failure *failure);

private:
    bool renameOver(Failure *failure);

    QString m_path;
    const FileOperations &m_operations;
    std::unique_ptr<QTemporaryFile> m_file; // removes the file on destruction unless committed
};

// Removes the temporary files that an interrupted run left beside `path` and its backup. Only
// names the tool itself makes are removed.
void removeOwnLeftovers(const QString &path);

#ifdef Q_OS_WIN
// The system's error when ReplaceFileW may not replace `path`, else 0: it must read the file, delete
// its name and set its attributes, which the sharing of a running program or a loaded DLL refuses.
int replaceRefusal(const QString &path);
#endif

#endif
