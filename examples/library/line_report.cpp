// line_report: one line's quantities through the plattor library.
//   line_report KIND OPTION=VALUE... [--json]
// KIND is microstrip, stripline or coplanar; the options are plattor-lines' ("w=0.1mm",
// "w-top=0.09mm", "er=4.3"). Prints each quantity as "key value error" in SI units, with 17
// significant digits, or with --json the report plattor-lines --json prints.
#include <cstdio>
#include <exception>
#include <string>

#include <plattor/lines.hpp>

int main(int argc, char** argv) {
    try {
        if (argc < 2) throw plattor::Error("usage: line_report KIND OPTION=VALUE... [--json]");
        // 1. Describe the line: its kind, then each option from its text, units and all.
        plattor::Line line(argv[1]);
        bool json = false;
        for (int k = 2; k < argc; ++k) {
            const std::string argument = argv[k];
            const std::size_t equals = argument.find('=');
            if (argument == "--json") json = true;
            else if (equals == std::string::npos) throw plattor::Error("not OPTION=VALUE: \"" + argument + "\"");
            else line.set(argument.substr(0, equals), argument.substr(equals + 1));
        }
        // 2. Solve it.
        const plattor::Solution solution = plattor::solve(line);
        // 3. Report every quantity with its error bar.
        if (json) {
            std::printf("%s\n", solution.json().c_str());
        } else {
            for (const plattor::Reading& q : solution.quantities())
                std::printf("%s %.17g %.17g\n", q.key.c_str(), q.value, q.error);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "line_report: %s\n", e.what());
        return 1;
    }
}
