#pragma once
// Everything one run of quillory-sim serves, and the loop that serves it until a stop signal.

#include "tools/sim/BrowserServer.h"
#include "tools/sim/GameServer.h"
#include "tools/sim/GantryServer.h"
#include "tools/sim/PackageHost.h"
#include "tools/sim/PublicSims.h"
#include "tools/sim/SimOptions.h"

#include <memory>
#include <string>
#include <vector>

namespace quillory::sim {

class CSimulator final {
public:
    explicit CSimulator(const SimOptions& options);
    ~CSimulator();
    CSimulator(const CSimulator&) = delete;
    CSimulator& operator=(const CSimulator&) = delete;

    // Opens every port and builds the Gantry description; false with the reason in `error`.
    // What was left out of the description is told in `warnings`.
    bool Open(std::string& error, std::vector<std::string>& warnings);
    // The line that says where the simulator listens.
    std::string ListeningText() const;
    // What the package host sent, for the line printed at the end; empty without one.
    std::string ClosingText() const;
    // Serves until `stopFd` becomes readable.
    void Run(int stopFd);

private:
    bool OpenPublicSims(std::string& error);

    const SimOptions& options_;
    CGameServer game_;
    std::unique_ptr<CGantryServer> gantry_;
    std::unique_ptr<CPackageHost> host_;
    std::unique_ptr<CBrowserServer> browser_;
    std::unique_ptr<CPublicSims> publicSims_;
};

} // namespace quillory::sim
