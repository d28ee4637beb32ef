#include "benchregistry.h"
#include "formatlist.h"
#include "regfile.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QListWidget>

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int realisticKeys = 100000;

void setAll(QListWidget &list, Qt::CheckState state)
{
    for (int row = 0; row < list.count(); ++row)
        list.item(row)->setData(Qt::CheckStateRole, int(state));
}

void fillFrom(benchmark::State &state, bool readOnly)
{
    BenchRegistry reg(int(state.range(0)));
    // A copy that only permits reading, which is read without writing
    // anything beside it.
    if (readOnly) {
        const QString copy = reg.dir.filePath(QStringLiteral("readonly.sqlite"));
        if (!copyRegistryFile(reg.fileName, copy)) {
            state.SkipWithError("the registry could not be copied");
            return;
        }
        QFile::setPermissions(copy, QFile::ReadOwner);
        qputenv("PELLVARIN_REGISTRY", QFile::encodeName(copy));
    }
    {
        QListWidget warm;
        fillFormatList(&warm, nullptr);
    }
    for (auto _ : state) {
        QListWidget list;
        SelectionList selection;
        benchmark::DoNotOptimize(fillFormatList(&list, &selection));
    }
}

void BM_FillFormatList(benchmark::State &state)
{
    fillFrom(state, false);
}
void BM_FillFormatListReadOnly(benchmark::State &state)
{
    fillFrom(state, true);
}

// Each timed call changes every extension; the untimed one puts it back.
// One untimed round in each direction first, so that what a process pays
// once (its first write, a cold cache) stays out of the steady state.
void applyAll(benchmark::State &state, Qt::CheckState timed, Qt::CheckState reset)
{
    BenchRegistry reg(int(state.range(0)));
    QListWidget list;
    fillFormatList(&list, nullptr);
    for (Qt::CheckState warm : {timed, reset}) {
        setAll(list, warm);
        applyFormatList(&list);
    }
    for (auto _ : state) {
        setAll(list, timed);
        benchmark::DoNotOptimize(applyFormatList(&list));
        state.PauseTiming();
        setAll(list, reset);
        applyFormatList(&list);
        state.ResumeTiming();
    }
}

void BM_ApplyAllChecked(benchmark::State &state)
{
    applyAll(state, Qt::Checked, Qt::Unchecked);
}
void BM_ApplyAllUnchecked(benchmark::State &state)
{
    applyAll(state, Qt::Unchecked, Qt::Checked);
}

// A whole registry of that many keys, as regedit would export it, imported
// into a new, empty registry file.
void BM_ImportRegFile(benchmark::State &state)
{
    QByteArray text;
    {
        BenchRegistry source(int(state.range(0)));
        QBuffer out(&text);
        out.open(QIODevice::WriteOnly);
        exportRegFile(*source.store, std::nullopt, out, nullptr);
    }
    int round = 0;
    QTemporaryDir dir;
    for (auto _ : state) {
        state.PauseTiming();
        auto store =
            RegistryStore::open(dir.filePath(QStringLiteral("import%1.sqlite").arg(++round)));
        state.ResumeTiming();
        QString error;
        if (!importRegFile(*store, text, QStringLiteral("bench.reg"), &error)) {
            state.SkipWithError(qPrintable(error));
            break;
        }
    }
    state.counters["keys"] = double(state.range(0));
}

// A .reg file of that many Mi characters of short keys, one a line, as
// "[HKCU\k0000001]": the most keys a file of its size can hold.
void BM_ImportShortKeysTool(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString reg = dir.filePath(QStringLiteral("keys.reg"));
    qint64 keys = 0;
    {
        QFile file(reg);
        if (!file.open(QIODevice::WriteOnly)) {
            state.SkipWithError("cannot write the .reg file");
            return;
        }
        QByteArray text = "Windows Registry Editor Version 5.00\n\n";
        const qint64 chars = state.range(0) << 20;
        for (keys = 0; file.pos() + text.size() + 16 <= chars; ++keys) {
            text += "[HKCU\\k" + QByteArray::number(keys + 1).rightJustified(7, '0') + "]\n";
            if (text.size() >= (1 << 20)) {
                file.write(text);
                text.clear();
            }
        }
        file.write(text);
    }
    // Through time(1), whose own child is the tool alone: a child of this
    // process would count this process's memory, which it starts out sharing.
    const char *const timer = "/usr/bin/time";
    if (::access(timer, X_OK) != 0) {
        state.SkipWithError("needs /usr/bin/time (package time) to measure the peak memory");
        return;
    }
    const QByteArray file = QFile::encodeName(reg);
    const QByteArray figures = QFile::encodeName(dir.filePath(QStringLiteral("time.txt")));
    int round = 0;
    for (auto _ : state) {
        const QByteArray registry =
            QFile::encodeName(dir.filePath(QStringLiteral("import%1.sqlite").arg(++round)));
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(timer, "time", "-f", "%e %U %S %M", "-o", figures.constData(),
                    PELLVARIN_REG_EXECUTABLE, "--registry", registry.constData(), "import",
                    file.constData(), static_cast<char *>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        const bool imported = pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
                              WEXITSTATUS(status) == 0;
        QFile out(QFile::decodeName(figures));
        // Wall and processor seconds, then the peak in KiB.
        const QList<QByteArray> measured = imported && out.open(QIODevice::ReadOnly)
                                               ? out.readAll().trimmed().split(' ')
                                               : QList<QByteArray>();
        if (measured.size() != 4) {
            state.SkipWithError("the import failed");
            break;
        }
        state.SetIterationTime(measured[0].toDouble());
        state.counters["cpu_s"] = measured[1].toDouble() + measured[2].toDouble();
        state.counters["peak_MiB"] = measured[3].toDouble() / 1024;
        QFile::remove(QFile::decodeName(registry));
    }
    state.counters["keys"] = double(keys);
}

// The first write of a process checks the whole file first; each round
// opens a fresh copy, as a new process would, and times that first write.
void BM_FirstWriteCheck(benchmark::State &state)
{
    BenchRegistry reg(int(state.range(0)));
    const RegKeyPath key = *parseKeyPath(QStringLiteral("HKCU\\Software\\Bench"));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString copy = reg.dir.filePath(QStringLiteral("copy%1.sqlite").arg(++round));
        if (!copyRegistryFile(reg.fileName, copy)) {
            state.SkipWithError("the registry could not be copied");
            break;
        }
        auto store = RegistryStore::open(copy);
        state.ResumeTiming();
        if (!store->setValue(key, QStringLiteral("v"), RegType::Sz, encodeRegSz({}))) {
            state.SkipWithError("the first write failed");
            break;
        }
        state.PauseTiming();
        store.reset();
        QFile::remove(copy);
        state.ResumeTiming();
    }
    state.counters["keys"] = double(state.range(0));
}

// The same write once the file is known to be sound, for comparison.
void BM_LaterWrite(benchmark::State &state)
{
    BenchRegistry reg(int(state.range(0)));
    const RegKeyPath key = *parseKeyPath(QStringLiteral("HKCU\\Software\\Bench"));
    reg.store->setValue(key, QStringLiteral("v"), RegType::Sz, encodeRegSz({}));
    for (auto _ : state) {
        if (!reg.store->setValue(key, QStringLiteral("v"), RegType::Sz, encodeRegSz({}))) {
            state.SkipWithError("the write failed");
            break;
        }
    }
}

// 100,000 keys is a realistic HKEY_CLASSES_ROOT; the others show the growth.
void registrySizes(benchmark::internal::Benchmark *b)
{
    for (int keys : {10000, realisticKeys, 1000000})
        b->Arg(keys);
}

} // namespace

BENCHMARK(BM_ImportRegFile)->Apply(registrySizes)->Unit(benchmark::kMillisecond)->Iterations(3);
// As a user runs it, in a process of its own, for its peak memory as well.
BENCHMARK(BM_ImportShortKeysTool)
    ->Arg(60)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_FirstWriteCheck)->Apply(registrySizes)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LaterWrite)->Apply(registrySizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillFormatList)->Apply(registrySizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillFormatListReadOnly)->Apply(registrySizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyAllChecked)->Apply(registrySizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyAllUnchecked)->Apply(registrySizes)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
