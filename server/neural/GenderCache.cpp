#include "GenderCache.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace tavrel::neural {

namespace {

// What the cache is valid for: the model file's name, size and time.
std::string stampOf(const NeuralModel &model)
{
    std::error_code ec;
    const auto size = fs::file_size(model.model, ec);
    if (ec)
        return {};
    const auto time = fs::last_write_time(model.model, ec);
    if (ec)
        return {};
    return model.model.filename().string() + "\t" + std::to_string(size) + "\t" +
           std::to_string(time.time_since_epoch().count());
}

}  // namespace

std::map<int, std::string> readGenderCache(const NeuralModel &model)
{
    std::map<int, std::string> out;
    std::ifstream in(model.dir / kGenderCacheName);
    std::string line;
    if (!in || !std::getline(in, line))
        return out;
    const std::string stamp = stampOf(model);
    if (stamp.empty() || line != "# " + stamp)
        return out;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        int sid = -1;
        std::string gender;
        if (fields >> sid >> gender && sid >= 0 && sid < model.speakers && (gender == "Female" || gender == "Male"))
            out[sid] = gender;
    }
    return out;
}

bool writeGenderCache(const NeuralModel &model, const std::map<int, std::pair<std::string, double>> &genders)
{
    const std::string stamp = stampOf(model);
    if (stamp.empty())
        return false;
    const fs::path file = model.dir / kGenderCacheName;
    const fs::path temp = model.dir / (std::string(kGenderCacheName) + ".part");
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out)
            return false;
        out << "# " << stamp << "\n";
        for (const auto &[sid, estimate] : genders)
            out << sid << "\t" << estimate.first << "\t" << std::lround(estimate.second) << "\n";
        if (!out.flush())
            return false;
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    if (ec)
        fs::remove(temp, ec);
    return !ec;
}

double estimatePitch(const std::vector<std::int16_t> &pcm, int rate)
{
    if (rate <= 0)
        return 0;
    const std::size_t window = static_cast<std::size_t>(rate) * 40 / 1000;
    const std::size_t minLag = static_cast<std::size_t>(rate / 400), maxLag = static_cast<std::size_t>(rate / 60);
    if (window <= maxLag || pcm.size() < window + maxLag)
        return 0;
    std::vector<double> found;
    std::vector<double> x(window + maxLag);
    for (std::size_t at = 0; at + window + maxLag <= pcm.size(); at += window / 2) {
        double energy = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            x[i] = pcm[at + i];
            if (i < window)
                energy += x[i] * x[i];
        }
        if (std::sqrt(energy / double(window)) < 500)
            continue;  // silence or near it
        // Normalised autocorrelation; the first lag close to the best one
        // wins, so that a period's multiples do not halve the pitch.
        std::vector<double> r(maxLag + 1, 0);
        double best = 0;
        for (std::size_t lag = minLag; lag <= maxLag; ++lag) {
            double num = 0, e1 = 0, e2 = 0;
            for (std::size_t i = 0; i < window; ++i) {
                num += x[i] * x[i + lag];
                e1 += x[i] * x[i];
                e2 += x[i + lag] * x[i + lag];
            }
            r[lag] = e1 > 0 && e2 > 0 ? num / std::sqrt(e1 * e2) : 0;
            best = std::max(best, r[lag]);
        }
        if (best < 0.5)
            continue;  // not voiced
        for (std::size_t lag = minLag + 1; lag < maxLag; ++lag)
            if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
                found.push_back(double(rate) / double(lag));
                break;
            }
    }
    if (found.empty())
        return 0;
    std::nth_element(found.begin(), found.begin() + found.size() / 2, found.end());
    return found[found.size() / 2];
}

std::string genderForPitch(double hz)
{
    return hz > 0 && hz < 165 ? "Male" : "Female";
}

}  // namespace tavrel::neural
