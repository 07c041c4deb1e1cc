// Framed messages over loopback: a receiver thread listens on a free port and
// reads frames with readMessageFromSocket; the main thread connects and sends
// them with writeMessageToSocket.
//
// A frame is "KS_NET_API_MSG_START", a header of the application's own with a
// decimal length field at agreed byte positions (here bytes 20 to 29, the
// length of the whole frame), the payload, and "KS_NET_API_MSG_END00". The
// library never opens or closes sockets: that stays with the application.
#include <KSUtilityClasses.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr unsigned int kSizeFieldStart = 20;  // the length field follows the start marker
constexpr unsigned int kSizeFieldEnd = 29;    // ten decimal digits
constexpr int kMessages = 3;

std::string makeFrame(const std::string& payload)
{
    const std::size_t total = 20 + 10 + payload.size() + 20;
    char length[11];
    std::snprintf(length, sizeof length, "%010zu", total);
    return "KS_NET_API_MSG_START" + std::string(length) + payload + "KS_NET_API_MSG_END00";
}

void receive(int listener, int* received)
{
    SOCKET peer = accept(listener, nullptr, nullptr);
    char buffer[4096];
    for (;;) {
        unsigned int got = 0;
        int rc = ktuSocketUtils::readMessageFromSocket(&peer, kSizeFieldStart, kSizeFieldEnd, buffer,
                                                       sizeof buffer, &got);
        if (rc != 1) {  // 0: the sender closed the connection; negative: the frame did not fit
            break;
        }
        std::string payload(buffer + 30, got - 50);
        std::printf("received %u bytes: %s\n", got, payload.c_str());
        ++*received;
    }
    close(peer);
}

}  // namespace

int main()
{
    char version[] = "4.02";
    ktuLibVersionManagerUtils::validateVersion(version);

    // The library finds a free port (from 100 upwards); this example wants
    // an unprivileged one, so it looks from 20000 on.
    int port = 20000;
    while (port < 65000 && !ktuSocketUtils::checkSocketOpen(port)) {
        ++port;
    }

    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0) {
        std::perror("framed_messages: listen");
        return 1;
    }
    int received = 0;
    std::thread receiver(receive, listener, &received);

    SOCKET sender = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(sender, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("framed_messages: connect");
        return 1;
    }
    for (int i = 1; i <= kMessages; ++i) {
        std::string frame = makeFrame("camera 7, event " + std::to_string(i));
        // The minimum size guards against sending a frame without its markers.
        int rc = ktuSocketUtils::writeMessageToSocket(&sender, 50, frame.data(),
                                                      static_cast<unsigned int>(frame.size()));
        if (rc != 1) {
            std::fprintf(stderr, "framed_messages: send failed (%d)\n", rc);
        }
    }
    shutdown(sender, SHUT_WR);  // the receiver's next read answers 0 and it stops
    receiver.join();
    close(sender);
    close(listener);
    std::printf("%d of %d frames received on port %d\n", received, kMessages, port);
    return received == kMessages ? 0 : 1;
}
