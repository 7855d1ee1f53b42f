#include "platform/mac/frameworks/AudioServices.h"

#include <fcntl.h>
#include <unistd.h>

namespace kova::cf
{

void AudioServicesPlayAlertSound(uint32_t)
{
    // The controlling terminal, whatever the standard streams are redirected to.
    int terminal = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0)
        return;
    ssize_t written = write(terminal, "\a", 1);
    (void)written;
    close(terminal);
}

} // namespace kova::cf
