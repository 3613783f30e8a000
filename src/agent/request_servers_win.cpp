#include "agent/request_servers_win.h"

#include "news/fetch.h"

namespace {

int FetchTopic(uint16_t code, void* area) {
    return CFetchTopic::Get(code, static_cast<TopicArea*>(area));
}

int FetchMessage(uint16_t code, void* area) {
    return CFetchMsg::Get(code, static_cast<MsgArea*>(area));
}

}  // namespace

CSharedMemoryServer gTopicServer(sizeof(TopicArea), FetchTopic);
CSharedMemoryServer gMessageServer(sizeof(MsgArea), FetchMessage);

int Server::Init() {
    return 1;
}
