// plot, as trelvane-cli runs it: the drawing needs Qt Gui (and through it
// the platform's graphics and font libraries), which no other command uses,
// so it lives in a helper program, trelvane-cli-draw, and trelvane-cli links
// Qt Core alone. plot hands the whole command line over to the helper, which
// takes the process's place (same input, output and exit status).
#include "cli/cli.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

const char helper_name[] = "trelvane-cli-draw";

QByteArray own_folder()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    QByteArray exe(path, static_cast<int>(n));
    return exe.left(exe.lastIndexOf('/'));
}

// Beside the program in a build folder; in the installed layout where the
// install rules put it, found from the program's own folder.
QByteArray helper_path()
{
    const QByteArray folder = own_folder();
    for (const QByteArray& candidate : {folder + "/" + helper_name, folder + "/" TRELVANE_HELPER_DIR "/" + helper_name})
        if (access(candidate.constData(), X_OK) == 0)
            return candidate;
    return {};
}

// The words this process was started with, as given.
std::vector<QByteArray> own_words()
{
    QFile cmdline(QStringLiteral("/proc/self/cmdline"));
    std::vector<QByteArray> words;
    if (!cmdline.open(QIODevice::ReadOnly))
        return words;
    const QByteArray all = cmdline.readAll();
    for (qsizetype start = 0; start < all.size();) {
        qsizetype end = all.indexOf('\0', start);
        if (end < 0)
            end = all.size();
        words.push_back(all.mid(start, end - start));
        start = end + 1;
    }
    return words;
}

}  // namespace

int run_plot(const Arguments&)
{
    const QByteArray helper = helper_path();
    if (helper.isEmpty())
        return fail("plot: the drawing helper " + QByteArray(helper_name) + " is not installed");
    std::vector<QByteArray> words = own_words();
    if (words.empty())
        return fail("plot: can't read the command line");
    words[0] = helper;
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    fflush(stdout);
    fflush(stderr);
    execv(helper.constData(), argv.data());
    return fail("plot: can't run " + helper + ": " + strerror(errno));
}
