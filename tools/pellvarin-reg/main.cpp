// pellvarin-reg: the registry file that stands in for the Windows registry,
// from the shell, for setting up a machine, reading back what the engine
// wrote, and scripting tests and benchmarks.

#include "regfile.h"
#include "registrystore.h"
#include "shellrecord.h"
#include "targetfiles.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

enum Exit { Success = 0, NotFound = 1, Failure = 2 };

const QString defaultResource = QStringLiteral(":/default-registry.reg");

// What the tool says of itself, around the commands' own lines (below).
const char usageHead[] = R"(Usage: pellvarin-reg [--registry FILE] COMMAND [ARGUMENTS]

Reads and writes the registry file that stands in for the Windows registry:
FILE, else $PELLVARIN_REGISTRY, else ~/.local/share/pellvarin/registry.sqlite.

)";
const char usageTail[] =
    R"(KEY is a full path such as HKEY_CLASSES_ROOT\.png or HKCU\Software\Classes,
levels separated by "\" only. NAME "@", "", "Default" or "." is the key's
unnamed default value, as the engine's settings take these names. get, set
and delete take -n (--literal-name) before KEY to take NAME as written: ""
alone is then the unnamed value, and values named "@", "Default" or "." can
be reached. Arguments are UTF-8.

A registry that anyone but you or root could change is refused: the file,
its journals (-wal, -shm, -journal), its folder or a folder above it
(unless that one has the sticky bit) writable by others or owned by another
user. Writable by your own private group, which has no other member, is
yours alone and taken. A registry with more than one name (a hard link) is
read but never written.

Reading never waits for a writer. Another program that holds the whole file
longer than $PELLVARIN_REGISTRY_BUSY_TIMEOUT_MS (10000 ms) makes a command
fail with exit 2 and print nothing, never a missing or partial answer.

Exit status: 0 success, 1 the key or value does not exist, 2 error.
)";

QByteArray usageText();

void write(FILE *f, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
}

int fail(int code, const QString &message)
{
    write(stderr, "pellvarin-reg: " + message.toUtf8() + '\n');
    return code;
}

// Everything a command prints goes out here: output that cannot be written
// whole (a full disk, /dev/full) fails the command, never reads as printed.
int print(const QByteArray &bytes)
{
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
        return fail(Failure, QStringLiteral("cannot write the output: %1").arg(out.errorString()));
    return Success;
}

int usage(const QString &why)
{
    write(stderr, "pellvarin-reg: " + why.toUtf8() + "\n\n");
    write(stderr, usageText());
    return Failure;
}

// As the engine reads each type; bytes, which it cannot use, in hex.
QString formatValue(const RegValue &v)
{
    const QVariant value = settingsValue(v);
    switch (value.userType()) {
    case QMetaType::QStringList:
        return value.toStringList().join(QLatin1Char('\n'));
    // DWORDs and QWORDs are unsigned to Windows' own tools.
    case QMetaType::Int:
        return QString::number(quint32(value.toInt()));
    case QMetaType::LongLong:
        return QString::number(quint64(value.toLongLong()));
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.data.toHex(','));
    default:
        return value.toString();
    }
}

class Tool
{
public:
    explicit Tool(const QString &registry) : registry(registry) {}

    int import(const QStringList &args);
    int exportKeys(const QStringList &args);
    int get(const QStringList &args);
    int set(const QStringList &args);
    int remove(const QStringList &args);
    int init(const QStringList &args);
    int printDefault(const QStringList &args);
    int notifications(const QStringList &args);
    int openedUri(const QStringList &args);

private:
    bool openStore(bool forWriting, int *code);
    bool readFailed() const;
    int unreadable() const;
    QString withReason(const QString &what) const;
    int notFound(const QString &what) const;
    std::optional<RegKeyPath> key(const QString &arg, int *code);
    std::optional<RegKeyPath> keyCommand(const QStringList &args, qsizetype least, qsizetype most,
                                         const QString &usageLine, bool forWriting, int *code);

    // The registry file the command works on, and its store once opened.
    QString registry;
    std::shared_ptr<RegistryStore> store;
    // The store's count of failed reads when it was opened.
    qint64 failuresAtOpen = 0;
};

bool Tool::openStore(bool forWriting, int *code)
{
    // Reading creates nothing: a registry is made by the first write.
    if (!forWriting && !QFileInfo::exists(registry)) {
        *code = fail(NotFound, QStringLiteral("there is no registry at %1").arg(registry));
        return false;
    }
    store = RegistryStore::open(registry);
    if (!store->isUsable()) {
        *code = fail(Failure, store->problemText().isEmpty()
                                  ? QStringLiteral("%1 is not a usable registry").arg(registry)
                                  : store->problemText());
        return false;
    }
    if (forWriting && !store->isWritable()) {
        // Refused, the write says why: read-only, where, or another name.
        store->beginTransaction();
        *code = fail(Failure, store->problemText().isEmpty()
                                  ? QStringLiteral("%1 cannot be written").arg(registry)
                                  : store->problemText());
        return false;
    }
    failuresAtOpen = store->readFailures();
    return true;
}

// Whether a read of this command could not be done: what it returned is
// no answer, and nothing of it may be printed.
bool Tool::readFailed() const
{
    return !store->isUsable() || store->readFailures() != failuresAtOpen;
}

int Tool::unreadable() const
{
    return fail(Failure, store->problemText().isEmpty()
                             ? QStringLiteral("the registry %1 could not be read").arg(registry)
                             : store->problemText());
}

// A read that met damage or a lock found nothing, and says why rather than
// that.
int Tool::notFound(const QString &what) const
{
    return readFailed() ? unreadable() : fail(NotFound, what);
}

// A failure's own words, and the registry's reason when it has one.
QString Tool::withReason(const QString &what) const
{
    const QString why = store ? store->problemText() : QString();
    return why.isEmpty() ? what : what + QStringLiteral(": ") + why;
}

std::optional<RegKeyPath> Tool::key(const QString &arg, int *code)
{
    auto k = parseRegKeyName(arg);
    if (!k) {
        *code = fail(Failure, QStringLiteral("not a key: \"%1\"; a key starts with "
                                             "HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or "
                                             "HKEY_CLASSES_ROOT")
                                  .arg(shortened(arg)));
        return std::nullopt;
    }
    if (k->parts.size() > maxKeyDepthBelow(k->hive)) {
        *code = fail(Failure, QStringLiteral("keys below %1 nest at most %2 levels deep")
                                  .arg(hiveName(k->hive))
                                  .arg(maxKeyDepthBelow(k->hive)));
        return std::nullopt;
    }
    for (const QString &part : k->parts) {
        if (!registryTakesKeyName(part) || !hasNoLineBreak(part)) {
            *code = fail(Failure, QStringLiteral("the registry cannot hold the key name \"%1\": "
                                                 "at most %2 characters, no NUL, line break, "
                                                 "leading U+FEFF or U+FFFE, or half surrogate pair")
                                      .arg(shortened(part))
                                      .arg(maxKeyNameLength));
            return std::nullopt;
        }
    }
    return k;
}

// What the commands that name a key do first: check the count of their
// arguments, read the key, and open the store for reading or writing.
std::optional<RegKeyPath> Tool::keyCommand(const QStringList &args, qsizetype least, qsizetype most,
                                           const QString &usageLine, bool forWriting, int *code)
{
    if (args.size() < least || args.size() > most) {
        *code = usage(usageLine);
        return std::nullopt;
    }
    auto k = key(args[0], code);
    if (!k || !openStore(forWriting, code))
        return std::nullopt;
    return k;
}

int Tool::import(const QStringList &args)
{
    if (args.size() != 1)
        return usage(QStringLiteral("import takes one FILE"));
    int code = Success;
    if (!openStore(true, &code))
        return code;
    QString error;
    // "FILE:LINE: what", as compilers say it, for editors to find the line.
    if (!importRegFile(*store, args.first(), &error)) {
        write(stderr, withReason(error).toUtf8() + '\n');
        return Failure;
    }
    return Success;
}

int Tool::exportKeys(const QStringList &args)
{
    std::optional<QString> keyArg, output;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("-o")) {
            if (output || i + 1 == args.size())
                return usage(QStringLiteral("-o takes one OUT file"));
            output = args[++i];
        } else if (args[i].startsWith(QLatin1Char('-')) || keyArg) {
            return usage(QStringLiteral("export takes at most one KEY and -o OUT"));
        } else {
            keyArg = args[i];
        }
    }
    int code = Success;
    std::optional<RegKeyPath> root;
    if (keyArg && !(root = key(*keyArg, &code)))
        return code;
    if (!openStore(false, &code))
        return code;
    if (root && !root->parts.isEmpty() && !store->keyExists(*root))
        return notFound(QStringLiteral("no such key: %1").arg(*keyArg));

    if (output && namesTheRegistry(*output, registry))
        return fail(Failure, QStringLiteral("%1 is the registry itself; export writes a .reg file "
                                            "beside it")
                                 .arg(*output));

    // One state, read under one snapshot, and given out only when all of
    // it could be read: a damaged page met on the way fails the export.
    QBuffer text;
    text.open(QIODevice::WriteOnly);
    QString error;
    const bool snapshot = store->beginSnapshot();
    const bool read =
        snapshot && exportRegFile(*store, root, text, &error,
                                  output ? RegFileEncoding::Utf16 : RegFileEncoding::Utf8);
    store->endSnapshot();
    if (readFailed())
        return unreadable();
    if (!read)
        return fail(Failure, !error.isEmpty() ? error
                                              : QStringLiteral("the registry %1 cannot be read "
                                                               "whole")
                                                    .arg(registry));
    if (output) {
        // A file is for regedit, which reads only UTF-16 whole.
        if (const auto written = writeIntoSpecialFile(*output, text.data()))
            return written->isEmpty() ? Success : fail(Failure, *written);
        // Written aside and renamed, so that a failed export leaves no half
        // file.
        QSaveFile file(*output);
        if (!file.open(QIODevice::WriteOnly) || file.write(text.data()) != text.data().size() ||
            !file.commit())
            return fail(Failure,
                        QStringLiteral("cannot write %1: %2").arg(*output, file.errorString()));
        return Success;
    }
    return print(text.data());
}

int Tool::get(const QStringList &given)
{
    QStringList args = given;
    const bool literal = takeLiteralNameOption(&args);
    int code = Success;
    const auto k = keyCommand(args, 2, 2, QStringLiteral("get takes KEY and NAME"), false, &code);
    if (!k)
        return code;
    // One snapshot: a lock waited out once, and the key and its value as
    // they were together.
    store->beginSnapshot();
    const bool exists = store->keyExists(*k);
    const auto v = store->value(*k, valueName(args[1], literal));
    store->endSnapshot();
    if (!exists)
        return notFound(QStringLiteral("no such key: %1").arg(args[0]));
    if (!v)
        return notFound(QStringLiteral("no value \"%1\" in %2").arg(args[1], args[0]));
    if (readFailed())
        return unreadable();
    return print(formatValue(*v).toUtf8() + '\n');
}

int Tool::set(const QStringList &given)
{
    QStringList args = given;
    const bool literal = takeLiteralNameOption(&args);
    int code = Success;
    const auto k =
        keyCommand(args, 3, 3, QStringLiteral("set takes KEY, NAME and VALUE"), true, &code);
    if (!k)
        return code;
    if (!registryTakesValueName(args[1]) || !hasNoLineBreak(args[1]))
        return fail(Failure, QStringLiteral("the registry cannot hold the value name \"%1\": "
                                            "at most %2 characters, no NUL, line break, "
                                            "leading U+FEFF or U+FFFE, or half surrogate pair")
                                 .arg(shortened(args[1]))
                                 .arg(maxValueNameLength));
    if (!store->setValue(*k, valueName(args[1], literal), RegType::Sz, encodeRegSz(args[2])))
        return fail(Failure, withReason(QStringLiteral("could not write \"%1\" in %2")
                                            .arg(shortened(args[1]), shortened(args[0]))));
    return Success;
}

int Tool::remove(const QStringList &given)
{
    QStringList args = given;
    const bool literal = takeLiteralNameOption(&args);
    int code = Success;
    const auto k = keyCommand(args, 1, 2, QStringLiteral("delete takes KEY and an optional NAME"),
                              true, &code);
    if (!k)
        return code;
    if (args.size() == 2) {
        const QString name = valueName(args[1], literal);
        if (!store->value(*k, name))
            return notFound(QStringLiteral("no value \"%1\" in %2").arg(args[1], args[0]));
        if (!store->removeValue(*k, name))
            return fail(
                Failure,
                withReason(QStringLiteral("could not delete \"%1\" in %2").arg(args[1], args[0])));
        return Success;
    }
    if (k->parts.isEmpty())
        return fail(Failure, QStringLiteral("a whole hive cannot be deleted"));
    if (!store->keyExists(*k))
        return notFound(QStringLiteral("no such key: %1").arg(args[0]));
    if (!store->removeKey(*k))
        return fail(Failure, withReason(QStringLiteral("could not delete %1").arg(args[0])));
    return Success;
}

int Tool::init(const QStringList &args)
{
    const bool force = args == QStringList{QStringLiteral("--force")};
    if (!args.isEmpty() && !force)
        return usage(QStringLiteral("init takes only --force"));
    int code = Success;
    // Replacing whatever the registry holds starts with what it never holds.
    if (force)
        RegistryStore::open(registry)->removeForeignObjects();
    if (!openStore(true, &code))
        return code;
    const QList<RegKeyPath> hives{{Hive::LocalMachine, {}}, {Hive::CurrentUser, {}}};
    QFile resource(defaultResource);
    if (!resource.open(QIODevice::ReadOnly))
        return fail(Failure, QStringLiteral("the built-in registry is missing"));
    const QByteArray content = resource.readAll();

    // Looking, emptying and filling are one transaction: a failed init keeps
    // the old registry, and no write of another program can land between
    // finding the registry empty and filling it.
    bool began = false;
    bool holdsKeys = false;
    QString error;
    const bool written = atomically(*store, [&] {
        began = true;
        for (const RegKeyPath &hive : hives)
            holdsKeys = holdsKeys || !store->subkeyNames(hive).isEmpty() ||
                        !store->valueNames(hive).isEmpty();
        if (holdsKeys && !force)
            return false;
        for (const RegKeyPath &hive : hives) {
            for (const QString &sub : store->subkeyNames(hive)) {
                if (!store->removeKey(hive.child(sub)))
                    return false;
            }
            for (const QString &name : store->valueNames(hive)) {
                if (!store->removeValue(hive, name))
                    return false;
            }
        }
        return importRegFile(*store, content, QStringLiteral("default-registry.reg"), &error);
    });
    if (!began)
        return fail(Failure, withReason(QStringLiteral("cannot begin writing %1").arg(registry)));
    if (holdsKeys && !force)
        return fail(
            Failure,
            QStringLiteral("%1 already holds keys; init --force replaces them").arg(registry));
    if (!written)
        return fail(Failure,
                    withReason(error.isEmpty() ? QStringLiteral("could not write %1").arg(registry)
                                               : error));
    return Success;
}

int Tool::printDefault(const QStringList &args)
{
    if (!args.isEmpty())
        return usage(QStringLiteral("default takes no arguments"));
    QFile resource(defaultResource);
    if (!resource.open(QIODevice::ReadOnly))
        return fail(Failure, QStringLiteral("the built-in registry is missing"));
    return print(resource.readAll());
}

int Tool::notifications(const QStringList &args)
{
    if (!args.isEmpty())
        return usage(QStringLiteral("notifications takes no arguments"));
    // No registry yet: nothing has been told, and looking makes none.
    ShellRecord::Notifications n;
    if (QFileInfo::exists(registry)) {
        int code = Success;
        if (!openStore(false, &code))
            return code;
        n = ShellRecord(*store).notifications(ShellRecord::associationsChanged);
        if (readFailed())
            return unreadable();
    }
    const QString last =
        n.last.isValid() ? n.last.toUTC().toString(Qt::ISODateWithMs) : QStringLiteral("never");
    return print(QStringLiteral("count: %1\nlast: %2\n").arg(n.count).arg(last).toUtf8());
}

int Tool::openedUri(const QStringList &args)
{
    if (!args.isEmpty())
        return usage(QStringLiteral("opened-uri takes no arguments"));
    QFile file(ShellRecord::openedUriFileFor(registry));
    if (!file.exists())
        return fail(NotFound, QStringLiteral("no URI has been opened"));
    if (!file.open(QIODevice::ReadOnly))
        return fail(Failure,
                    QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
    return print(file.readAll());
}

// Each command with its line of the usage, so that what the tool does and
// what it says it does are written side by side.
struct Command
{
    const char *synopsis; // the command's name, then its arguments
    const char *help;     // what it does, in lines of the usage's right column
    int (Tool::*run)(const QStringList &args);
};

const Command commands[] = {
    {"import FILE",
     "apply a .reg file: all of it, or on any error nothing;\n"
     "a line of more than 64 Mi characters, or a value of\n"
     "more than 32 MiB, is refused",
     &Tool::import},
    {"export [KEY] [-o OUT]",
     "write KEY and everything below it as a .reg file to\n"
     "standard output (UTF-8, to read) or to OUT (UTF-16LE\n"
     "as regedit writes and reads it; a file is replaced\n"
     "whole or not at all, a device or a pipe written\n"
     "into); without KEY, all of HKEY_LOCAL_MACHINE, then\n"
     "HKEY_CURRENT_USER",
     &Tool::exportKeys},
    {"get KEY NAME",
     "print a value: REG_SZ and REG_EXPAND_SZ as text,\n"
     "REG_MULTI_SZ one string a line, REG_DWORD and\n"
     "REG_QWORD in decimal, anything else as hex bytes\n"
     "(aa,bb,...) as in a .reg file",
     &Tool::get},
    {"set KEY NAME VALUE", "write a string value (REG_SZ), creating the key", &Tool::set},
    {"delete KEY [NAME]",
     "delete the value NAME, or without NAME the key and\n"
     "everything below it",
     &Tool::remove},
    {"init [--force]",
     "fill an empty registry with the built-in machine (the\n"
     "viewer installed on Windows XP); --force replaces\n"
     "whatever the registry holds",
     &Tool::init},
    {"default", "print the built-in machine as a .reg file", &Tool::printDefault},
    {"notifications",
     "print how many \"associations changed\" notifications\n"
     "were sent, and when the last one was",
     &Tool::notifications},
    {"opened-uri",
     "print the last URI the engine asked the shell to open\n"
     "(Settings' page, from Windows 10 on)",
     &Tool::openedUri},
};

QByteArray usageText()
{
    constexpr int column = 25; // where the commands' help begins
    QByteArray text = QByteArray(usageHead) + "Commands:\n";
    for (const Command &c : commands) {
        const QList<QByteArray> lines = QByteArray(c.help).split('\n');
        text += "  " + QByteArray(c.synopsis).leftJustified(column - 2) + lines.first() + '\n';
        for (const QByteArray &line : lines.mid(1))
            text += QByteArray(column, ' ') + line + '\n';
    }
    return text + '\n' + usageTail;
}

} // namespace

int main(int argc, char **argv)
{
    // A file size limit then fails the write with EFBIG, said as a full
    // disk is, instead of killing the tool in the middle of it.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    // This tool says every problem of the registry itself, in one line.
    RegistryStore::setLogsProblems(false);
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        const auto arg = fromStrictUtf8(QByteArray(argv[i]));
        if (!arg)
            return fail(Failure, QStringLiteral("argument %1 is not UTF-8 text: \"%2\"")
                                     .arg(i)
                                     .arg(shortened(QString::fromUtf8(argv[i]))));
        args.append(*arg);
    }

    QString registry = RegistryStore::defaultFileName();
    while (!args.isEmpty() && args.first().startsWith(QLatin1Char('-'))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("-h") || option == QLatin1String("--help")) {
            return print(usageText());
        }
        if (option == QLatin1String("--registry")) {
            registry = args.isEmpty() ? QString() : args.takeFirst();
        } else if (option.startsWith(QLatin1String("--registry="))) {
            registry = option.mid(11);
        } else {
            return usage(QStringLiteral("unknown option %1").arg(option));
        }
        if (registry.isEmpty())
            return usage(QStringLiteral("--registry takes a FILE"));
    }
    if (args.isEmpty())
        return usage(QStringLiteral("no command given"));
    if (registry.isEmpty())
        return fail(Failure, QStringLiteral("the registry has no place: HOME is not set; give "
                                            "--registry FILE or set PELLVARIN_REGISTRY"));

    const QString command = args.takeFirst();
    Tool tool(registry);
    for (const Command &c : commands) {
        if (command == QString::fromLatin1(c.synopsis).section(u' ', 0, 0))
            return (tool.*c.run)(args);
    }
    if (command == QLatin1String("help"))
        return print(usageText());
    return usage(QStringLiteral("unknown command %1").arg(command));
}
