// What users feel, on the default-size development models ("dev", which may
// hold fp32 or trained int8 weights, and "dev-int8"), at 1 and 4 threads,
// through the public interface (each row is labelled by the quantisation its
// directory's config.json names):
//   - real-time factor of a 5000-character text, streamed sentence by
//     sentence as the reader plays it (render time / audio time);
//   - first-segment latency of a 12-word sentence (call to first chunk);
//   - peak resident memory of a process that does both.
// The same text and sentence go through Debian's espeak-ng in the same run
// (espeak-ng -q -w, timed from outside), when it is installed.
// Goals: real-time factor at most 0.01 on 4 threads and 0.05 on one, the
// first segment within 80 ms on one thread, peak memory under 150 MB.
// Beside the wall clock, the process's CPU time for the first segment and per
// second of audio: on a shared, loaded machine the wall clock also counts
// the time other programs hold the cores, the CPU time hardly.
//
//   tts_bench [--runs N] [--models DIR] [--model NAME] [--threads N]
//   (models from build/engine/models; by default "dev" and "dev-int8" on 1
//   and 4 threads)
#include <fcntl.h>
#include <math.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/error.h"
#include "runtime/json.h"
#include "runtime/wav.h"
#include "tovantts.h"

extern char **environ;

namespace {

const char *TEXT =
    "It is a truth universally acknowledged, that a single man in possession of a good fortune, must be in want of "
    "a wife. However little known the feelings or views of such a man may be on his first entering a "
    "neighbourhood, this truth is so well fixed in the minds of the surrounding families, that he is considered "
    "the rightful property of some one or other of their daughters. \"My dear Mr. Bennet,\" said his lady to him "
    "one day, \"have you heard that Netherfield Park is let at last?\" Mr. Bennet replied that he had not. \"But it "
    "is,\" returned she; \"for Mrs. Long has just been here, and she told me all about it.\" Mr. Bennet made no "
    "answer. \"Do you not want to know who has taken it?\" cried his wife impatiently. \"You want to tell me, and I "
    "have no objection to hearing it.\" This was invitation enough. \"Why, my dear, you must know, Mrs. Long says "
    "that Netherfield is taken by a young man of large fortune from the north of England; that he came down on "
    "Monday in a chaise and four to see the place, and was so much delighted with it, that he agreed with Mr. "
    "Morris immediately; that he is to take possession before Michaelmas, and some of his servants are to be in "
    "the house by the end of next week.\" \"What is his name?\" \"Bingley.\" \"Is he married or single?\" \"Oh! "
    "Single, my dear, to be sure! A single man of large fortune; four or five thousand a year. What a fine thing "
    "for our girls!\" \"How so? How can it affect them?\" \"My dear Mr. Bennet,\" replied his wife, \"how can you "
    "be so tiresome! You must know that I am thinking of his marrying one of them.\" \"Is that his design in "
    "settling here?\" \"Design! Nonsense, how can you talk so! But it is very likely that he may fall in love with "
    "one of them, and therefore you must visit him as soon as he comes.\" \"I see no occasion for that. You and "
    "the girls may go, or you may send them by themselves, which perhaps will be still better, for as you are as "
    "handsome as any of them, Mr. Bingley may like you the best of the party.\" \"My dear, you flatter me. I "
    "certainly have had my share of beauty, but I do not pretend to be anything extraordinary now. When a woman "
    "has five grown-up daughters, she ought to give over thinking of her own beauty.\" \"In such cases, a woman "
    "has not often much beauty to think of.\" \"But, my dear, you must indeed go and see Mr. Bingley when he comes "
    "into the neighbourhood.\" \"It is more than I engage for, I assure you.\" \"But consider your daughters. Only "
    "think what an establishment it would be for one of them. Sir William and Lady Lucas are determined to go, "
    "merely on that account, for in general, you know, they visit no newcomers. Indeed you must go, for it will "
    "be impossible for us to visit him if you do not.\" \"You are over-scrupulous, surely. I dare say Mr. Bingley "
    "will be very glad to see you; and I will send a few lines by you to assure him of my hearty consent to his "
    "marrying whichever he chooses of the girls; though I must throw in a good word for my little Lizzy.\" \"I "
    "desire you will do no such thing. Lizzy is not a bit better than the others; and I am sure she is not half "
    "so handsome as Jane, nor half so good-humoured as Lydia. But you are always giving her the preference.\" "
    "\"They have none of them much to recommend them,\" replied he; \"they are all silly and ignorant like other "
    "girls; but Lizzy has something more of quickness than her sisters.\" \"Mr. Bennet, how can you abuse your "
    "own children in such a way? You take delight in vexing me. You have no compassion for my poor nerves.\" "
    "\"You mistake me, my dear. I have a high respect for your nerves. They are my old friends. I have heard you "
    "mention them with consideration these last twenty years at least.\" \"Ah, you do not know what I suffer.\" "
    "\"But I hope you will get over it, and live to see many young men of four thousand a year come into the "
    "neighbourhood.\" \"It will be no use to us, if twenty such should come, since you will not visit them.\" "
    "\"Depend upon it, my dear, that when there are twenty, I will visit them all.\" Mr. Bennet was so odd a "
    "mixture of quick parts, sarcastic humour, reserve, and caprice, that the experience of three and twenty "
    "years had been insufficient to make his wife understand his character. Her mind was less difficult to "
    "develop. She was a woman of mean understanding, little information, and uncertain temper. When she was "
    "discontented, she fancied herself nervous. The business of her life was to get her daughters married; its "
    "solace was visiting and news. Mr. Bennet was among the earliest of those who waited on Mr. Bingley. He had "
    "always intended to visit him, though to the last always assuring his wife that he should not go; and till "
    "the evening after the visit was paid she had no knowledge of it. It was then disclosed in the following "
    "manner. Observing his second daughter employed in trimming a hat, he suddenly addressed her with, \"I hope "
    "Mr. Bingley will like it, Lizzy.\" \"We are not in a way to know what Mr. Bingley likes,\" said her mother "
    "resentfully, \"since we are not to visit.\" \"But you forget, mamma,\" said Elizabeth, \"that we shall meet "
    "him at the assemblies, and that Mrs. Long has promised to introduce him.\"";

const char *SENTENCE = "The quick brown fox jumps over the lazy dog near the river bank.";

std::string exe_dir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string p = n > 0 ? std::string(buf, (size_t)n) : std::string("./x");
  return p.substr(0, p.rfind('/'));
}

// The text cut at the last sentence end within 5000 characters.
std::string text5000() {
  std::string t = TEXT;
  if (t.size() > 5000) t.resize(5000);
  size_t end = t.find_last_of(".!?\"");
  return t.substr(0, end + 1);
}

double cpu_ms() {
  struct timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

struct Result {
  double rtf = NAN, first_ms = NAN, audio_s = NAN, create_ms = NAN, cpu_rtf = NAN, first_cpu_ms = NAN;
  long peak_kb = 0;
  std::string err;
};

struct Chunks {
  double t0 = tv_time_ms(), c0 = cpu_ms(), first = -1, first_cpu = -1;
  int64_t samples = 0;
  static int32_t cb(const float *, int64_t n, const tovantts_chunk_info *, void *user) {
    Chunks *c = (Chunks *)user;
    if (c->first < 0) c->first = tv_time_ms() - c->t0, c->first_cpu = cpu_ms() - c->c0;
    c->samples += n;
    return 0;
  }
};

// Runs in a child process: writes "rtf first_ms audio_s create_ms cpu_rtf
// first_cpu_ms" or "! message".
void measure(const std::string &model, int32_t threads, int runs, int fd) {
  char err[1024];
  const double t0 = tv_time_ms();
  tovantts_engine *e = tovantts_create(model.c_str(), threads, err, sizeof err);
  if (!e) {
    dprintf(fd, "! %s\n", err);
    return;
  }
  const double create_ms = tv_time_ms() - t0;
  const std::string text = text5000();
  double best_rtf = INFINITY, best_cpu = INFINITY, audio_s = 0;
  for (int r = 0; r < runs; r++) {
    Chunks c;
    if (tovantts_stream_ex(e, text.c_str(), NULL, Chunks::cb, &c, err, sizeof err) != 0) {
      dprintf(fd, "! %s\n", err);
      tovantts_destroy(e);
      return;
    }
    const double ms = tv_time_ms() - c.t0, cms = cpu_ms() - c.c0;
    audio_s = (double)c.samples / 24000.0;
    best_rtf = std::min(best_rtf, ms / 1000.0 / audio_s);
    best_cpu = std::min(best_cpu, cms / 1000.0 / audio_s);
  }
  std::vector<double> first, first_cpu;
  for (int r = 0; r < 5 * runs; r++) {
    Chunks c;
    if (tovantts_stream_ex(e, SENTENCE, NULL, Chunks::cb, &c, err, sizeof err) != 0) {
      dprintf(fd, "! %s\n", err);
      tovantts_destroy(e);
      return;
    }
    first.push_back(c.first);
    first_cpu.push_back(c.first_cpu);
  }
  std::sort(first.begin(), first.end());
  std::sort(first_cpu.begin(), first_cpu.end());
  dprintf(fd, "%.6f %.3f %.3f %.3f %.6f %.3f\n", best_rtf, first[first.size() / 2], audio_s, create_ms, best_cpu,
          first_cpu[first_cpu.size() / 2]);
  tovantts_destroy(e);
}

Result run_engine(const std::string &model, int32_t threads, int runs) {
  Result res;
  int p[2];
  if (pipe(p) != 0) {
    res.err = "pipe failed";
    return res;
  }
  fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    close(p[0]);
    measure(model, threads, runs, p[1]);
    close(p[1]);
    _exit(0);
  }
  close(p[1]);
  std::string out;
  char buf[512];
  ssize_t k;
  while ((k = read(p[0], buf, sizeof buf)) > 0) out.append(buf, (size_t)k);
  close(p[0]);
  int status = 0;
  struct rusage ru;
  memset(&ru, 0, sizeof ru);
  wait4(pid, &status, 0, &ru);
  res.peak_kb = ru.ru_maxrss;
  if (out.empty() || out[0] == '!')
    res.err = out.empty() ? "the measuring process died" : out.substr(2);
  else
    sscanf(out.c_str(), "%lf %lf %lf %lf %lf %lf", &res.rtf, &res.first_ms, &res.audio_s, &res.create_ms,
           &res.cpu_rtf, &res.first_cpu_ms);
  return res;
}

// espeak-ng on a text file into a WAV file; wall time in ms, or -1.
double espeak(const std::string &text, const std::string &dir, double *audio_s, long *peak_kb) {
  const std::string tf = dir + "/text.txt", wf = dir + "/out.wav";
  FILE *f = fopen(tf.c_str(), "wb");
  if (!f) return -1;
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  const char *argv[] = {"espeak-ng", "-w", wf.c_str(), "-f", tf.c_str(), NULL};
  const double t0 = tv_time_ms();
  pid_t pid;
  if (posix_spawnp(&pid, "espeak-ng", NULL, NULL, (char *const *)argv, environ) != 0) return -1;
  int status = 0;
  struct rusage ru;
  memset(&ru, 0, sizeof ru);
  if (wait4(pid, &status, 0, &ru) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  const double ms = tv_time_ms() - t0;
  *peak_kb = ru.ru_maxrss;
  float *x = NULL;
  size_t n = 0;
  int32_t rate = 0;
  if (tv_wav_read(wf.c_str(), &x, &n, &rate) != 0) return -1;
  tv_free(x);
  *audio_s = (double)n / rate;
  return ms;
}

}  // namespace

// "tovantts <quant>" from the model directory's config.json; the directory's
// name when the config cannot be read or names no quantisation.
static std::string model_label(const std::string &dir, const char *fallback) {
  std::string label = std::string("tovantts ") + fallback;
  FILE *f = fopen((dir + "/config.json").c_str(), "rb");
  if (!f) return label;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  fclose(f);
  tv_json *root = tv_json_parse(text.data(), text.size());
  if (!root) return label;
  // The generator's record says how the weights are stored, trained or not.
  const char *quant = tv_json_str(tv_json_get(tv_json_get(root, "generator"), "quant"), NULL);
  if (quant && *quant) label = std::string("tovantts ") + quant;
  tv_json_free(root);
  return label;
}

int main(int argc, char **argv) {
  int runs = 2, only_threads = 0;
  std::string models = exe_dir() + "/../engine/models", only_model;
  for (int i = 1; i < argc; i++) {
    if (i + 1 < argc && strcmp(argv[i], "--runs") == 0)
      runs = std::max(1, atoi(argv[++i]));
    else if (i + 1 < argc && strcmp(argv[i], "--models") == 0)
      models = argv[++i];
    else if (i + 1 < argc && strcmp(argv[i], "--model") == 0)
      only_model = argv[++i];
    else if (i + 1 < argc && strcmp(argv[i], "--threads") == 0)
      only_threads = std::max(1, atoi(argv[++i]));
    else {
      fprintf(stderr, "usage: tts_bench [--runs N] [--models DIR] [--model NAME] [--threads N]\n");
      return 2;
    }
  }
  const std::string text = text5000();
  printf("text: %zu characters; sentence: %s\n\n", text.size(), SENTENCE);
  printf("%-18s %8s %10s %12s %10s %10s %10s %12s\n", "engine", "threads", "RTF", "first (ms)", "audio (s)",
         "peak (MB)", "CPU RTF", "first CPU ms");
  bool ok = true;
  const struct {
    const char *name, *dir;
  } kinds[] = {{"dev", "dev"}, {"dev-int8", "dev-int8"}};
  for (const auto &k : kinds) {
    if (!only_model.empty() && only_model != k.name) continue;
    const std::string label = model_label(models + "/" + k.dir, k.name);
    for (int32_t threads : {1, 4}) {
      if (only_threads && threads != only_threads) continue;
      Result r = run_engine(models + "/" + k.dir, threads, runs);
      if (!r.err.empty()) {
        printf("%-18s %8d   failed: %s\n", label.c_str(), threads, r.err.c_str());
        ok = false;
        continue;
      }
      printf("%-18s %8d %10.4f %12.1f %10.1f %10.1f %10.4f %12.1f\n", label.c_str(), threads, r.rtf, r.first_ms,
             r.audio_s, r.peak_kb / 1024.0, r.cpu_rtf, r.first_cpu_ms);
    }
  }
  char tmpl[] = "/tmp/tts-bench-XXXXXX";
  if (mkdtemp(tmpl)) {
    double audio = 0, audio1 = 0;
    long peak = 0, peak1 = 0;
    const double ms = espeak(text, tmpl, &audio, &peak);
    const double ms1 = espeak(SENTENCE, tmpl, &audio1, &peak1);
    if (ms < 0 || ms1 < 0)
      printf("%-18s %8s   not available (install espeak-ng)\n", "espeak-ng", "-");
    else
      printf("%-18s %8d %10.4f %12.1f %10.1f %10.1f\n", "espeak-ng", 1, ms / 1000.0 / audio, ms1, audio,
             std::max(peak, peak1) / 1024.0);
    unlink((std::string(tmpl) + "/text.txt").c_str());
    unlink((std::string(tmpl) + "/out.wav").c_str());
    rmdir(tmpl);
  }
  printf("\ngoals: RTF <= 0.05 (1 thread), <= 0.01 (4 threads); first segment <= 80 ms (1 thread); peak < 150 MB\n");
  return ok ? 0 : 1;
}
