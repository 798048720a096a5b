#include "CommunityStore.h"
#include "Database.h"
#include "Moderation.h"
#include "Options.h"
#include "Serve.h"

#include <QDir>

#include <chrono>
#include <iostream>

int main(int argc, char** argv)
{
    const std::variant<Options, std::string> parsed = Options::parse(argc, argv);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        std::cerr << *problem << '\n' << Options::usage();
        return 2;
    }
    const Options& options = std::get<Options>(parsed);
    if (!QDir().mkpath(options.dataDirectory)) {
        std::cerr << "cannot make the data folder " << options.dataDirectory.toStdString() << std::endl;
        return 1;
    }
    try {
        CommunityStore store(openDatabase(options.dataDirectory, options.database));
        if (options.command == Options::Command::serve) {
            return serve(options, store);
        }
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        return moderate(options, store, std::chrono::duration_cast<std::chrono::seconds>(now).count(), std::cout,
                        std::cerr);
    } catch (const SqlError& error) {
        std::cerr << "database error: " << error.what() << std::endl;
        return 1;
    }
}
