// A reader's fuzz target without libFuzzer: runs every file of the folders and files
// given once, as libFuzzer replays a corpus, so that the normal build's test run keeps
// what the fuzzing found (the targets' checks abort on a finding). A folder's files
// whose names start with another target's name are skipped: fuzz/crashes/ holds every
// target's reproducers.
//
//   <target>_replay NAME PATH...      NAME: the target's name, e.g. fuzz_crm_reply
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool runFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray data = file.readAll();
    std::fprintf(stderr, "%s\n", qPrintable(path)); // the input a finding stops at
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TARGET_NAME PATH...\n", argv[0]);
        return 2;
    }
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    const QString target = QString::fromLocal8Bit(argv[1]);
    int runs = 0;
    for (int i = 2; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        if (!QFileInfo(path).isDir()) {
            runs += runFile(path) ? 1 : 0;
            continue;
        }
        const QFileInfoList files = QDir(path).entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo& file : files) {
            const bool otherTarget = file.fileName().startsWith(QLatin1String("fuzz_")) &&
                                     !file.fileName().startsWith(target + QLatin1Char('-'));
            if (!otherTarget)
                runs += runFile(file.filePath()) ? 1 : 0;
        }
    }
    std::printf("%s: %d inputs replayed, no finding\n", qPrintable(target), runs);
    return runs > 0 ? 0 : 1;
}
