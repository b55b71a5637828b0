// Runs the ingestion sink until it is interrupted: qv-ingestion-sink [port] [folder]
#include "services/ingestion/IngestionSink.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    qv::services::IngestionSink sink(argc > 2 ? argv[2] : "");
    if (!sink.start(argc > 1 ? std::atoi(argv[1]) : 0)) {
        std::fprintf(stderr, "qv-ingestion-sink: cannot bind 127.0.0.1\n");
        return 1;
    }
    std::printf("%s\n", sink.baseUrl().c_str());
    std::fflush(stdout);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    int received = 0;
    sigwait(&signals, &received);
    return 0;
}
