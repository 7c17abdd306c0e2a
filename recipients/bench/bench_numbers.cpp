// bench-numbers: the normal form of a large list, as "Tekrarları Sil", the marks and the
// check before a run need it. N entries in the ways people write Turkish numbers (a few
// fixed lines, 0850 numbers and invalid ones among them), read by the program's own
// readEntry and, as the baseline, by libphonenumber's parser alone (parse and type per
// entry). Prints "name: value" lines.
//
//   bench-numbers [ENTRIES]    (100000 by default)

#include <phonenumbers/phonenumberutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "recipients/number_check.h"
#include "recipients/phone_number.h"
#include "recipients/repeated_numbers.h"

namespace {

std::vector<std::string> makeList(int count) {
    const char* const forms[] = {"0%s", "%s", "90%s", "+90 %s", "0 (%.3s) %s"};
    std::vector<std::string> list;
    list.reserve(static_cast<std::size_t>(count));
    char buffer[64];
    for (int i = 0; i < count; ++i) {
        const long long base = i % 20 == 7    ? 2120000000LL
                               : i % 20 == 13 ? 8500000000LL
                                              : 5320000000LL;
        const std::string subscriber = std::to_string(base + i % 9000000);
        if (i % 50 == 11) {
            list.push_back("Ali " + std::to_string(i));
            continue;
        }
        const char* form = forms[i % 5];
        if (i % 5 == 4) {
            std::snprintf(buffer, sizeof buffer, form, subscriber.c_str(), subscriber.c_str() + 3);
        } else {
            std::snprintf(buffer, sizeof buffer, form, subscriber.c_str());
        }
        list.emplace_back(buffer);
    }
    return list;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const std::vector<std::string> list = makeList(count);
    using i18n::phonenumbers::PhoneNumberUtil;
    const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();

    auto start = std::chrono::steady_clock::now();
    int valid = 0;
    for (const std::string& e : list) {
        i18n::phonenumbers::PhoneNumber number;
        if (util.Parse(e, "TR", &number) == PhoneNumberUtil::NO_PARSING_ERROR &&
            util.GetNumberType(number) != PhoneNumberUtil::UNKNOWN) {
            ++valid;
        }
    }
    const double baseline = secondsSince(start);

    start = std::chrono::steady_clock::now();
    const recipients::NumberCheck check = recipients::checkNumbers(list);
    const double checked = secondsSince(start);

    start = std::chrono::steady_clock::now();
    int removed = 0;
    recipients::withoutRepeats(list, &removed);
    const double repeats = secondsSince(start);

    std::printf("entries: %d\n", count);
    std::printf("baseline_libphonenumber_parse_ms: %.0f\n", baseline * 1000);
    std::printf("check_numbers_ms: %.0f\n", checked * 1000);
    std::printf("without_repeats_ms: %.0f\n", repeats * 1000);
    std::printf("mobile: %d\ninvalid: %d\nnot_mobile: %d\nrepeats: %d\nbaseline_valid: %d\n",
                check.count(recipients::NumberKind::Mobile), check.invalid(), check.notMobile(),
                removed, valid);
    return 0;
}
