// The terminal hand-over between two copies: a real socket pair and a real
// descriptor.
#include "term/Handover.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct SocketPair {
    int fd[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd), 0); }
    ~SocketPair() {
        for (int f : fd) {
            if (f >= 0) {
                close(f);
            }
        }
    }
};

TEST(TermHandover, HelloRoundTripsTheValues) {
    term::EnvValues values = {{"TERM", "xterm-256color"}, {"EMPTY", ""}, {"X", "a=b"}};
    std::string frame = term::EncodeHello(values);
    ASSERT_GE(frame.size(), 4u);
    std::optional<term::EnvValues> back = term::DecodeHello(std::string_view(frame).substr(4));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, values);
}

TEST(TermHandover, ValuesThatCannotBeCarriedAreLeftOut) {
    term::EnvValues values = {
        {"BAD=NAME", "x"}, {"", "y"}, {"NUL", std::string("a\0b", 3)}, {"TERM", "linux"}};
    std::string frame = term::EncodeHello(values);
    std::optional<term::EnvValues> back = term::DecodeHello(std::string_view(frame).substr(4));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, (term::EnvValues{{"TERM", "linux"}}));
}

TEST(TermHandover, MalformedHellosAreRefused) {
    EXPECT_FALSE(term::DecodeHello(std::string_view("TERM=x", 6))); // not ended
    EXPECT_FALSE(term::DecodeHello(std::string_view("TERM\0", 5))); // no '='
    EXPECT_FALSE(term::DecodeHello(std::string_view("=x\0", 3)));   // no name
    EXPECT_TRUE(term::DecodeHello(std::string_view()));             // nothing is fine
}

TEST(TermHandover, TheDescriptorTravelsWithTheHelloAndLaterBytesStay) {
    SocketPair pair;
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    ASSERT_TRUE(term::SendHello(pair.fd[0], pipeFds[1], {{"TERM", "tmux-256color"}}));
    // A resize note sent right after must not be eaten by the hello's reader.
    ASSERT_EQ(send(pair.fd[0], "W", 1, MSG_NOSIGNAL), 1);
    std::optional<term::Hello> hello = term::ReceiveHello(pair.fd[1], 1000);
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->values.at("TERM"), "tmux-256color");
    ASSERT_GE(hello->ttyFd, 0);
    // The received descriptor is the same pipe: what it writes arrives.
    ASSERT_EQ(write(hello->ttyFd, "z", 1), 1);
    char c = 0;
    ASSERT_EQ(read(pipeFds[0], &c, 1), 1);
    EXPECT_EQ(c, 'z');
    EXPECT_EQ(fcntl(hello->ttyFd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    char next = 0;
    ASSERT_EQ(recv(pair.fd[1], &next, 1, MSG_DONTWAIT), 1);
    EXPECT_EQ(next, 'W');
    close(hello->ttyFd);
    close(pipeFds[0]);
    close(pipeFds[1]);
}

TEST(TermHandover, NoHelloGarbageOrAMissingDescriptorGiveNothing) {
    {
        SocketPair pair; // silent peer: the wait ends
        EXPECT_FALSE(term::ReceiveHello(pair.fd[1], 50));
    }
    {
        SocketPair pair; // a peer that hangs up
        close(pair.fd[0]);
        pair.fd[0] = -1;
        EXPECT_FALSE(term::ReceiveHello(pair.fd[1], 1000));
    }
    {
        SocketPair pair; // a well-formed frame without a descriptor
        std::string frame = term::EncodeHello({{"TERM", "x"}});
        ASSERT_EQ(send(pair.fd[0], frame.data(), frame.size(), MSG_NOSIGNAL),
                  ssize_t(frame.size()));
        EXPECT_FALSE(term::ReceiveHello(pair.fd[1], 1000));
    }
    {
        SocketPair pair; // an absurd length
        const char huge[] = "\xff\xff\xff\x7f";
        ASSERT_EQ(send(pair.fd[0], huge, 4, MSG_NOSIGNAL), 4);
        EXPECT_FALSE(term::ReceiveHello(pair.fd[1], 1000));
    }
}

} // namespace
