#pragma once

// .reg files as the tests of the reader and of the tool write and read
// them: the header regedit starts them with, whole files on disk, and the
// default registry as an export gives it back.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtTest>

inline const QByteArray v5 = "Windows Registry Editor Version 5.00\n\n";

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(content), content.size());
}

// A .reg file as export writes it again: comments are the one thing an
// export drops.
inline QByteArray withoutComments(const QByteArray &content)
{
    QByteArray out;
    for (const QByteArray &line : content.split('\n'))
        if (!line.startsWith(';'))
            out += line + '\n';
    out.chop(1);
    return out;
}
