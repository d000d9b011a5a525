#include "devmodels.h"

#include "devsim.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace devmodels {

std::string Params::get(const std::string &key, const std::string &fallback) const
{
	auto it = values_.find(key);
	return it == values_.end() ? fallback : it->second;
}

uint64_t Params::get_u64(const std::string &key, uint64_t fallback) const
{
	auto it = values_.find(key);
	if (it == values_.end() || it->second.empty())
		return fallback;
	const std::string &text = it->second;
	errno = 0;
	char *end = nullptr;
	unsigned long long value = strtoull(text.c_str(), &end, 0);
	if (errno != 0 || end == text.c_str() || text[0] == '-')
		return fallback;
	unsigned shift = 0;
	if (*end == 'K' || *end == 'k')
		shift = 10;
	else if (*end == 'M' || *end == 'm')
		shift = 20;
	else if (*end == 'G' || *end == 'g')
		shift = 30;
	if (shift != 0)
		++end;
	if (*end != '\0' || (shift != 0 && value > (~0ULL >> shift)))
		return fallback;
	return value << shift;
}

Model::Model(const Params &params)
{
	if (params.has("log"))
		set_log(params.get("log"));
}

std::vector<std::string> Model::events() const
{
	std::lock_guard<std::mutex> guard(lock_);
	return events_;
}

void Model::set_log(const std::string &path)
{
	std::lock_guard<std::mutex> guard(lock_);
	log_path_ = path;
}

// Called with lock_ held.
void Model::event(const std::string &text)
{
	events_.push_back(text);
	if (log_path_.empty())
		return;
	int saved = errno;
	if (FILE *f = fopen(log_path_.c_str(), "a")) {
		fprintf(f, "%s\n", text.c_str());
		fclose(f);
	}
	errno = saved;
}

void attach_model(const std::string &path, std::shared_ptr<Model> model)
{
	devsim::attach(path, [model](int fd, unsigned long request, void *arg) {
		return model->ioctl(fd, request, arg);
	});
}

namespace {

std::mutex g_factory_lock;

std::map<std::string, Factory> &factories()
{
	static std::map<std::string, Factory> all;
	return all;
}

} // namespace

bool register_model(const std::string &name, Factory factory)
{
	std::lock_guard<std::mutex> guard(g_factory_lock);
	factories()[name] = std::move(factory);
	return true;
}

std::shared_ptr<Model> create(const std::string &name, const Params &params)
{
	Factory factory;
	{
		std::lock_guard<std::mutex> guard(g_factory_lock);
		auto it = factories().find(name);
		if (it == factories().end())
			return nullptr;
		factory = it->second;
	}
	return factory(params);
}

int load_config_text(const std::string &text, std::string *error)
{
	std::vector<std::pair<std::string, std::shared_ptr<Model>>> models;
	std::istringstream in(text);
	std::string line;
	int number = 0;
	auto fail = [&](const std::string &why) {
		if (error)
			*error = "line " + std::to_string(number) + ": " + why;
		return -1;
	};
	while (std::getline(in, line)) {
		++number;
		auto hash = line.find('#');
		if (hash != std::string::npos)
			line.erase(hash);
		std::istringstream words(line);
		std::string path, name, word;
		if (!(words >> path))
			continue;
		if (!(words >> name))
			return fail("no model for " + path);
		Params params;
		while (words >> word) {
			auto eq = word.find('=');
			if (eq == std::string::npos || eq == 0)
				return fail("parameter without key=value: " + word);
			params.set(word.substr(0, eq), word.substr(eq + 1));
		}
		auto model = create(name, params);
		if (!model)
			return fail("unknown model " + name);
		models.emplace_back(path, model);
	}
	for (auto &[path, model] : models)
		attach_model(path, model);
	return static_cast<int>(models.size());
}

int load_config(const std::string &path, std::string *error)
{
	std::ifstream in(path);
	if (!in) {
		if (error)
			*error = "cannot open " + path;
		return -1;
	}
	std::stringstream text;
	text << in.rdbuf();
	return load_config_text(text.str(), error);
}

} // namespace devmodels
