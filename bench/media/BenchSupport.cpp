#include "BenchSupport.h"

#include "platform/foundation/ManualDispatcher.h"
#include "platform/media/Player.h"

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qv::bench {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

void makeSource(const std::filesystem::path& path, int minutes)
{
    run("ffmpeg -nostdin -v error -y -f lavfi -i 'anoisesrc=c=pink:r=48000:a=0.2:d=" + std::to_string(minutes * 60)
        + "' -f lavfi -i 'sine=f=220:r=48000:d=" + std::to_string(minutes * 60)
        + "' -filter_complex '[0:a][1:a]amerge=inputs=2[a]' -map '[a]' -c:a pcm_s16le '" + path.string() + "'");
}

void openInPlayer(ManualDispatcher& main, Player& player, const std::filesystem::path& path)
{
    auto asset = Asset::inspect(path.string());
    if (!asset) {
        std::fprintf(stderr, "%s\n", asset.error().description.c_str());
        std::exit(1);
    }
    player.replaceCurrentItem(PlayerItem(asset.value()));
    if (!main.runUntil([&] { return player.status() != Player::Status::Unknown; })
        || player.status() != Player::Status::ReadyToPlay) {
        std::fprintf(stderr, "%s cannot be played\n", path.c_str());
        std::exit(1);
    }
}

double peakMemoryOfChild(const std::function<void()>& work)
{
    pid_t child = fork();
    if (child == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the work in the child process failed\n");
        std::exit(1);
    }
    return usage.ru_maxrss / 1024.0;
}

}  // namespace qv::bench
