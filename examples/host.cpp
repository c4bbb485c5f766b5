// A small host of the installed control: it registers, places a call (or, with "-"
// as the number, answers the first call that comes in), lets the call run until the
// peer hangs up or the time is up, hangs up, and prints each event it meets.
//
//   c++ -std=c++17 host.cpp $(pkg-config --cflags --libs OrvSIPUserAgentOCX) -o host
//   ./host LOCAL_IP SIP_PORT RTP_PORT REGISTRAR_HOST:PORT sip:NUMBER@HOST[:PORT]|- [SECONDS]

#include <OrvSIPUserAgentOCX.h>

#include <cstdio>
#include <cstdlib>
#include <string>

class Phone : public OrvSIPUserAgentOCXEvents {
public:
    explicit Phone(OrvSIPUserAgentOCX& control) : control_(control) {}

    bool registered = false, connected = false, ended = false, failed = false;

    void OnSuccessToRegister() override { registered = Say("registered"); }
    void OnFailToRegister() override { failed = Say("registration failed"); }
    void OnSuccessToUnRegister() override { Say("unregistered"); }
    void OnProvisionalResponse(int, int status, const std::string& reason) override
    {
        std::printf("progress: %d %s\n", status, reason.c_str());
    }
    void OnSuccessToConnect(int line, const std::string& ip, int port) override
    {
        std::printf("connected on line %d, voice to %s:%d\n", line, ip.c_str(), port);
        connected = true;
    }
    void OnFailToConnect(int) override { failed = Say("the call failed"); }
    void OnRequestFailureResponse(int, int status, const std::string& reason) override
    {
        std::printf("the call was refused: %d %s\n", status, reason.c_str());
        failed = true;
    }
    void OnDisconnectCall(int) override { ended = Say("the peer hung up"); }
    void OnIncomingCall(const std::string& callId, const std::string&, const std::string& user, const std::string&,
                        const std::string&) override
    {
        std::printf("incoming call from %s: answering\n", user.c_str());
        control_.AcceptCall(0, callId, -1, -1);
    }

private:
    static bool Say(const char* text)
    {
        std::puts(text);
        return true;
    }
    OrvSIPUserAgentOCX& control_;
};

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s LOCAL_IP SIP_PORT RTP_PORT REGISTRAR sip:NUMBER@HOST|- [SECONDS]\n", argv[0]);
        return 2;
    }
    const std::string localIp = argv[1], registrar = argv[4], target = argv[5];
    const int seconds = argc > 6 ? std::atoi(argv[6]) : 10;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    OrvSIPUserAgentOCX control;
    Phone phone(control);
    control.Advise(&phone);
    if (!control.Initialize(true, localIp, std::atoi(argv[2]), "", "", registrar, "1001", "secret", false, 1) ||
        !control.OpenLine(0, true, localIp, std::atoi(argv[3]))) {
        std::fprintf(stderr, "cannot start: error %d\n", control.GetOrvObjectError());
        return 1;
    }
    control.RegisterToProxy(300);
    control.RunUntil([&] { return phone.registered || phone.failed; }, 5000);
    if (target != "-" && !control.Connect(0, target, -1, -1))
        std::fprintf(stderr, "cannot call: error %d\n", control.GetOrvObjectError());
    control.RunUntil([&] { return phone.connected || phone.failed; }, seconds * 1000);
    control.RunUntil([&] { return phone.ended || phone.failed; }, seconds * 1000);
    if (phone.connected && !phone.ended)
        control.Disconnect(0);
    control.UnRegisterToProxy();
    control.UnInitialize();
    control.RunFor(100);
    return phone.connected ? 0 : 1;
}
