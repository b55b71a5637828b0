// What the intake's tests share: waits on the real event loop (the network and the service's
// replies arrive there), and pending files of test media.
#pragma once

#include "intake/PendingFileFactory.h"
#include "model/QVFilePending.h"
#include "platform/foundation/tests/EventLoopWait.h"
#include "platform/media/tests/TestMedia.h"

#include <memory>
#include <string>

namespace intake_test {

using qv::test::waitFor;

// The pending file of test media `name` (see TestMedia.h), or of the file at `path`.
inline std::shared_ptr<QVFilePending> pendingFileAt(const QString& path)
{
    return createPendingFileFromURL(QUrl::fromLocalFile(path), {false, "en-US"});
}
inline std::shared_ptr<QVFilePending> pendingTestMedia(const std::string& name)
{
    return pendingFileAt(QString::fromStdString(qv::test::testMedia(name)));
}

}  // namespace intake_test
