#include "SwayDisplays.h"

#include "SwayIpc.h"
#include "SwayTree.h"

namespace quandrel::sway {

std::vector<Display> SwayDisplays::displays()
{
    const IpcReply outputs = m_ipc.request(MessageType::getOutputs);
    if (!outputs)
        return {};
    const IpcReply workspaces = m_ipc.request(MessageType::getWorkspaces);
    return displaysFromOutputs(outputs.document, workspaces.document).value_or(std::vector<Display>{});
}

} // namespace quandrel::sway
