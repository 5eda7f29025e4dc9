#!/usr/bin/python3
"""Writes small speech models in the folder layouts the published models use,
for the neural engine's tests. The graphs are ordinary ONNX operators: the
audio is a sine whose length follows the number of tokens and the length
scale, and whose pitch follows the speaker id.

usage: make_models.py <models folder> <kind> [<kind> ...]
kinds: vits (3 speakers, lexicon), vits1 (1 speaker), slow (1 speaker, busy
       for a while on every generation), named (2 speakers and a
       voices.tsv), piper (espeak-ng-data), matcha (acoustic model + vocoder),
       kokoro (voices.bin, speaker names), and the broken ones: notokens,
       corrupt, unknown, nometa, novocoder, loadfail (complete files whose
       graph the runtime cannot run)
"""
import os
import sys

import onnx
from onnx import TensorProto, helper

HOP = 256          # samples per token at length scale 1
SAMPLE_RATE = 16000

# The phones the test lexicon knows; every token id is also a phone.
PHONES = ["_", "n", "i3", "h", "ao3", "sh", "i4", "j", "ie4", "a1", "b", "c", "d", "e1", "sil", "eos", "sp"]
LEXICON = {
    "你": ["n", "i3"], "好": ["h", "ao3"], "是": ["sh", "i4"], "界": ["j", "ie4"],
    "世": ["sh", "i4"], "啊": ["a1"], "的": ["d", "e1"],
    "hello": ["h", "e1"], "world": ["d", "a1"],
}


def const(name, value, dtype=TensorProto.FLOAT, dims=()):
    vals = value if isinstance(value, list) else [value]
    return helper.make_node("Constant", [], [name],
                            value=helper.make_tensor(name + "_t", dtype, list(dims), vals))


def signal_nodes(count_name, scale_name, sid_name, out_name):
    """Nodes turning a token count [1] (int64), a length scale [1] (float) and
    a speaker id [1] (int64, or None) into audio [1, T]."""
    n = [
        const("hop", float(HOP)),
        helper.make_node("Cast", [count_name], ["count_f"], to=TensorProto.FLOAT),
        helper.make_node("Mul", ["count_f", "hop"], ["len0"]),
        helper.make_node("Mul", ["len0", scale_name], ["len1"]),
        helper.make_node("Floor", ["len1"], ["len2"]),
        helper.make_node("ReduceMax", ["len2"], ["limit"], keepdims=0),
        const("zero", 0.0), const("one", 1.0),
        helper.make_node("Range", ["zero", "limit", "one"], ["t"]),
        const("base", 0.05, dims=[1]), const("step", 0.02, dims=[1]),
    ]
    if sid_name:
        n += [helper.make_node("Cast", [sid_name], ["sid_f"], to=TensorProto.FLOAT),
              helper.make_node("Mul", ["sid_f", "step"], ["sid_step"]),
              helper.make_node("Add", ["base", "sid_step"], ["freq"])]
    else:
        n += [helper.make_node("Identity", ["base"], ["freq"])]
    n += [
        helper.make_node("Mul", ["t", "freq"], ["phase"]),
        helper.make_node("Sin", ["phase"], ["wave"]),
        const("amp", 0.5),
        helper.make_node("Mul", ["wave", "amp"], ["wave2"]),
        const("axes0", 0, TensorProto.INT64, [1]),
        helper.make_node("Unsqueeze", ["wave2", "axes0"], [out_name]),
    ]
    return n


def save(graph, path, meta):
    model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 13)])
    model.ir_version = 7
    for k, v in meta.items():
        entry = model.metadata_props.add()
        entry.key, entry.value = k, str(v)
    onnx.checker.check_model(model)
    onnx.save(model, path)


def f32(name, shape=(1,)):
    return helper.make_tensor_value_info(name, TensorProto.FLOAT, list(shape))


def i64(name, shape=(1,)):
    return helper.make_tensor_value_info(name, TensorProto.INT64, list(shape))


def write_tokens(folder, phones=PHONES):
    with open(os.path.join(folder, "tokens.txt"), "w") as f:
        for i, p in enumerate(phones):
            f.write(f"{p} {i}\n")


def write_lexicon(folder):
    with open(os.path.join(folder, "lexicon.txt"), "w") as f:
        for word, phones in LEXICON.items():
            f.write(word + " " + " ".join(phones) + "\n")


def busy_nodes(scale_name, out_name, size=384, rounds=8):
    """Nodes that keep the runtime busy for a while on every generation (a
    chain of matrix products built from an input, so nothing is folded at
    load time) and end in a zero of shape [1] added to the audio: for the
    tests that stop a render part way. Every entry stays 1/size."""
    n = [const("busy_shape", [size, size], TensorProto.INT64, [2]),
         const("busy_inv", 1.0 / size, dims=[1]),
         helper.make_node("Div", [scale_name, scale_name], ["busy_one"]),
         helper.make_node("Mul", ["busy_one", "busy_inv"], ["busy_v"]),
         helper.make_node("Expand", ["busy_v", "busy_shape"], ["busy_0"])]
    for i in range(rounds):
        n.append(helper.make_node("MatMul", [f"busy_{i}", "busy_0"], [f"busy_{i + 1}"]))
    n += [helper.make_node("ReduceSum", [f"busy_{rounds}"], ["busy_sum"], keepdims=0),
          const("busy_zero", 0.0),
          helper.make_node("Mul", ["busy_sum", "busy_zero"], [out_name])]
    return n


def vits_model(path, speakers, comment="vits", language="Chinese", busy=False):
    inputs = [i64("x", [1, "N"]), i64("x_length"), f32("noise_scale"), f32("length_scale"),
              f32("noise_scale_w")]
    sid = None
    if speakers > 1:
        inputs.append(i64("sid"))
        sid = "sid"
    nodes = [helper.make_node("Shape", ["x"], ["xs"]),
             const("idx1", 1, TensorProto.INT64, [1]),
             helper.make_node("Gather", ["xs", "idx1"], ["count"], axis=0)]
    if busy:
        nodes += signal_nodes("count", "length_scale", sid, "y0")
        nodes += busy_nodes("length_scale", "nothing")
        nodes.append(helper.make_node("Add", ["y0", "nothing"], ["y"]))
    else:
        nodes += signal_nodes("count", "length_scale", sid, "y")
    graph = helper.make_graph(nodes, "vits", inputs, [f32("y", [1, "T"])])
    save(graph, path, {"sample_rate": SAMPLE_RATE, "n_speakers": speakers, "language": language,
                       "comment": comment, "add_blank": 0, "punctuation": "，。？！ , . ? !"})


KOKORO_STYLE = (510, 1, 256)  # voices.bin per speaker: a style row per token count
KOKORO_SPEAKERS = ["af_maple", "bf_vale", "zf_001", "zm_009"]


def kokoro_model(path):
    """tokens [1, N], style [1, 256], speed [1] → audio [T]. The speaker
    reaches the graph only through its style row: voices.bin holds the
    speaker id in every entry, so the pitch follows it as in VITS."""
    inputs = [i64("tokens", [1, "N"]), f32("style", [1, KOKORO_STYLE[2]]), f32("speed")]
    nodes = [helper.make_node("Shape", ["tokens"], ["xs"]),
             const("idx1", 1, TensorProto.INT64, [1]),
             helper.make_node("Gather", ["xs", "idx1"], ["count"], axis=0),
             helper.make_node("Reciprocal", ["speed"], ["scale"]),
             helper.make_node("ReduceMean", ["style"], ["sid_mean"], keepdims=0),
             helper.make_node("Round", ["sid_mean"], ["sid_r"]),
             helper.make_node("Cast", ["sid_r"], ["sid"], to=TensorProto.INT64),
             const("sid_shape", [1], TensorProto.INT64, [1]),
             helper.make_node("Reshape", ["sid", "sid_shape"], ["sid1"])]
    nodes += signal_nodes("count", "scale", "sid1", "y2")
    nodes += [const("flat", [-1], TensorProto.INT64, [1]),
              helper.make_node("Reshape", ["y2", "flat"], ["audio"])]
    graph = helper.make_graph(nodes, "kokoro", inputs, [f32("audio", ["T"])])
    save(graph, path, {"model_type": "kokoro", "language": "English", "has_espeak": 1, "sample_rate": 24000,
                       "version": 2, "voice": "en-us", "style_dim": ",".join(map(str, KOKORO_STYLE)),
                       "n_speakers": len(KOKORO_SPEAKERS), "speaker_names": ",".join(KOKORO_SPEAKERS)})


KOKORO_TOKENS = ["$", ";", ":", ",", ".", "!", "?", " "] + list("abcdefghijklmnopqrstuvwxyz012345")

# Where Debian keeps espeak-ng's data: the runtime refuses Kokoro and Piper
# folders without it (the graphs here never use it).
SYSTEM_ESPEAK_DATA = "/usr/lib/x86_64-linux-gnu/espeak-ng-data"


def espeak_data(folder):
    path = os.path.join(folder, "espeak-ng-data")
    if os.path.isdir(SYSTEM_ESPEAK_DATA):
        if not os.path.exists(path):
            os.symlink(SYSTEM_ESPEAK_DATA, path)
    else:
        os.makedirs(path, exist_ok=True)


MEL_HOP = 64       # vocoder samples per mel frame: four frames a token


def matcha_models(folder, speakers):
    """The acoustic model: x [1, N], x_length, noise_scale, length_scale (and
    sid) → mel [1, 80, 4 N length_scale] holding the speaker id; the
    vocoder (HiFi-GAN's layout) turns each frame into MEL_HOP samples of the
    same sine as VITS."""
    inputs = [i64("x", [1, "N"]), i64("x_length"), f32("noise_scale"), f32("length_scale")]
    if speakers > 1:
        inputs.append(i64("sid"))
    nodes = [helper.make_node("Shape", ["x"], ["xs"]),
             const("idx1", 1, TensorProto.INT64, [1]),
             helper.make_node("Gather", ["xs", "idx1"], ["count"], axis=0),
             helper.make_node("Cast", ["count"], ["count_f"], to=TensorProto.FLOAT),
             const("frames_per_token", float(HOP // MEL_HOP)),
             helper.make_node("Mul", ["count_f", "frames_per_token"], ["f0"]),
             helper.make_node("Mul", ["f0", "length_scale"], ["f1"]),
             helper.make_node("Floor", ["f1"], ["f2"]),
             helper.make_node("Cast", ["f2"], ["frames"], to=TensorProto.INT64),
             const("mel_bins", [1, 80], TensorProto.INT64, [2]),
             helper.make_node("Concat", ["mel_bins", "frames"], ["mel_shape"], axis=0)]
    if speakers > 1:
        nodes.append(helper.make_node("Cast", ["sid"], ["fill"], to=TensorProto.FLOAT))
    else:
        nodes.append(const("fill", 0.0, dims=[1]))
    nodes.append(helper.make_node("Expand", ["fill", "mel_shape"], ["mel"]))
    graph = helper.make_graph(nodes, "matcha", inputs, [f32("mel", [1, 80, "T"])])
    save(graph, os.path.join(folder, "model-steps-3.onnx"),
         {"model_type": "matcha-tts", "language": "Chinese", "voice": "zh", "has_espeak": 0, "jieba": 1,
          "n_speakers": speakers, "sample_rate": 22050, "version": 1, "pad_id": 0, "use_eos_bos": 0})

    vin = [f32("mel", [1, 80, "T"])]
    vnodes = [helper.make_node("Shape", ["mel"], ["ms"]),
              const("idx2", 2, TensorProto.INT64, [1]),
              helper.make_node("Gather", ["ms", "idx2"], ["frames"], axis=0),
              helper.make_node("Cast", ["frames"], ["frames_f"], to=TensorProto.FLOAT),
              const("mel_hop", float(MEL_HOP)),
              helper.make_node("Mul", ["frames_f", "mel_hop"], ["len2"]),
              helper.make_node("ReduceMax", ["len2"], ["limit"], keepdims=0),
              const("zero", 0.0), const("one", 1.0),
              helper.make_node("Range", ["zero", "limit", "one"], ["t"]),
              helper.make_node("ReduceMean", ["mel"], ["sid_f"], keepdims=0),
              const("base", 0.05), const("step", 0.02),
              helper.make_node("Mul", ["sid_f", "step"], ["sid_step"]),
              helper.make_node("Add", ["base", "sid_step"], ["freq"]),
              helper.make_node("Mul", ["t", "freq"], ["phase"]),
              helper.make_node("Sin", ["phase"], ["wave"]),
              const("amp", 0.5),
              helper.make_node("Mul", ["wave", "amp"], ["wave2"]),
              const("axes0", 0, TensorProto.INT64, [1]),
              helper.make_node("Unsqueeze", ["wave2", "axes0"], ["audio"])]
    vgraph = helper.make_graph(vnodes, "hifigan", vin, [f32("audio", [1, "S"])])
    save(vgraph, os.path.join(folder, "hifigan_v2.onnx"), {"model_type": "hifigan", "sample_rate": 22050})


def write_jieba_dict(folder):
    """dict/ as the runtime's word cutter (cppjieba) reads it, with just the
    lexicon's words: Chinese Matcha models cut text into words with it."""
    d = os.path.join(folder, "dict")
    os.makedirs(d, exist_ok=True)
    words = [w for w in LEXICON if ord(w[0]) > 0x3000]
    with open(os.path.join(d, "jieba.dict.utf8"), "w") as f:
        for w in words:
            f.write(f"{w} 1000 n\n")
    with open(os.path.join(d, "hmm_model.utf8"), "w") as f:
        f.write("#prob_start\n-0.26 -3.14e+100 -3.14e+100 -1.46\n#prob_trans\n")
        for _ in range(4):
            f.write("-0.51 -0.91 -3.14e+100 -3.14e+100\n")
        f.write("#prob_emit\n")
        for _ in range(4):
            f.write(",".join(f"{w}:-5.0" for w in words) + "\n")
    with open(os.path.join(d, "user.dict.utf8"), "w") as f:
        f.write(words[0] + "\n")
    with open(os.path.join(d, "idf.utf8"), "w") as f:
        for w in words:
            f.write(f"{w} 10.0\n")
    with open(os.path.join(d, "stop_words.utf8"), "w") as f:
        f.write("的\n")


def write_kokoro_voices(path):
    import struct
    per = KOKORO_STYLE[0] * KOKORO_STYLE[1] * KOKORO_STYLE[2]
    with open(path, "wb") as f:
        for sid in range(len(KOKORO_SPEAKERS)):
            f.write(struct.pack("<%df" % per, *([float(sid)] * per)))


def make_vits(folder, speakers, busy=False):
    os.makedirs(folder, exist_ok=True)
    vits_model(os.path.join(folder, "model.onnx"), speakers, busy=busy)
    write_tokens(folder)
    write_lexicon(folder)


def stub_model(path, meta):
    """A graph that only passes its input through: for folders that are
    discovered but never rendered by the tests."""
    graph = helper.make_graph([helper.make_node("Identity", ["a"], ["b"])], "stub", [f32("a")], [f32("b")])
    save(graph, path, meta)


def make(root, kind):
    folder = os.path.join(root, {
        "vits": "vits-test-zh", "vits1": "vits-test-solo", "piper": "vits-piper-en_US-test-medium",
        "matcha": "matcha-icefall-zh-baker", "kokoro": "kokoro-test-multi", "notokens": "vits-notokens",
        "corrupt": "vits-corrupt", "unknown": "mystery-model", "nometa": "vits-nometa",
        "named": "vits-named", "novocoder": "matcha-novocoder", "loadfail": "vits-loadfail",
        "slow": "vits-test-slow", "matcha2": "matcha-test-duo",
    }[kind])
    os.makedirs(folder, exist_ok=True)
    if kind == "vits":
        make_vits(folder, 3)
    elif kind == "vits1":
        make_vits(folder, 1)
    elif kind == "slow":
        make_vits(folder, 1, busy=True)
    elif kind == "named":
        make_vits(folder, 2)
        with open(os.path.join(folder, "voices.tsv"), "w") as f:
            f.write("# sid\tsuffix\tlocale\tgender\tdisplay name\n"
                    "0\tXiaohong\tzh-CN\tFemale\t小红 女声\n"
                    "1\tXiaoming\tzh-CN\tMale\t小明 男声  # a comment\n")
    elif kind == "piper":
        stub_model(os.path.join(folder, "en_US-test-medium.onnx"),
                   {"sample_rate": 22050, "n_speakers": 1, "language": "English", "comment": "piper",
                    "voice": "en-us"})
        write_tokens(folder)
        os.makedirs(os.path.join(folder, "espeak-ng-data"), exist_ok=True)
        with open(os.path.join(folder, "espeak-ng-data", "phontab"), "wb") as f:
            f.write(b"\0")
    elif kind == "matcha2":
        matcha_models(folder, 2)
        write_tokens(folder)
        write_lexicon(folder)
        write_jieba_dict(folder)
    elif kind in ("matcha", "novocoder"):
        if kind == "matcha":
            stub_model(os.path.join(folder, "vocos-22khz-univ.onnx"), {"model_type": "vocos"})
        stub_model(os.path.join(folder, "model-steps-3.onnx"),
                   {"sample_rate": 22050, "n_speakers": 1, "use_eos_bos": 1, "pad_id": 0, "jieba": 1})
        write_tokens(folder)
        write_lexicon(folder)
    elif kind == "kokoro":
        # Kokoro's tokens are single code points, and its lexicons spell
        # each phone with them: "你 n i 3" is three tokens.
        kokoro_model(os.path.join(folder, "model.onnx"))
        write_tokens(folder, KOKORO_TOKENS)
        write_kokoro_voices(os.path.join(folder, "voices.bin"))
        espeak_data(folder)
        with open(os.path.join(folder, "lexicon-zh.txt"), "w") as f:
            for word, phones in LEXICON.items():
                if ord(word[0]) > 0x3000:
                    f.write(word + " " + " ".join("".join(phones)) + "\n")
        with open(os.path.join(folder, "lexicon-us-en.txt"), "w") as f:
            for word, phones in LEXICON.items():
                if ord(word[0]) < 0x3000:
                    f.write(word + " " + " ".join("".join(phones)) + "\n")
    elif kind == "loadfail":
        make_vits(folder, 2)
        graph = helper.make_graph([helper.make_node("NoSuchOperator", ["x"], ["y"])], "broken",
                                  [i64("x", [1, "N"])], [f32("y", [1, "T"])])
        m = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 13)])
        m.ir_version = 7
        for k, v in {"sample_rate": 16000, "n_speakers": 2, "language": "Chinese", "comment": "vits"}.items():
            entry = m.metadata_props.add()
            entry.key, entry.value = k, str(v)
        onnx.save(m, os.path.join(folder, "model.onnx"))  # unchecked: the checker would refuse it
    elif kind == "notokens":
        make_vits(folder, 2)
        os.remove(os.path.join(folder, "tokens.txt"))
    elif kind == "corrupt":
        make_vits(folder, 2)
        with open(os.path.join(folder, "model.onnx"), "wb") as f:
            f.write(b"\x0a\xff\xff\xff\xff\x0fnot a model")
    elif kind == "unknown":
        with open(os.path.join(folder, "weights.bin"), "wb") as f:
            f.write(b"\0" * 64)
    elif kind == "nometa":
        make_vits(folder, 2)
        graph = helper.make_graph([helper.make_node("Identity", ["a"], ["b"])], "g", [f32("a")], [f32("b")])
        m = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 13)])
        m.ir_version = 7
        onnx.save(m, os.path.join(folder, "model.onnx"))
    else:
        raise SystemExit("unknown kind " + kind)
    return folder


if __name__ == "__main__":
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    for kind in sys.argv[2:]:
        print(make(sys.argv[1], kind))
