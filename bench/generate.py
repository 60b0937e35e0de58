#!/usr/bin/env python3
"""Seeded generators of large, realistic inputs for the benchmark.

    bench/generate.py --out DIR [--scale S] [--seed N] [--only NAME ...] [--force]

Writes into DIR (at scale 1):

  reads.wang.taxonomy     1.26 GB, 6,000,000 classification lines, ~3,000 distinct lineages
  reads.1m.wang.taxonomy  1.27 GB, 6,000,000 classification lines, ~1,000,000 distinct lineages
  reads.fasta             1.04 GB, 3,350,000 FASTA records: the first reads of that run
  reads.count_table       0.37 GB, a compressed count table of the 6,000,000 read IDs, four samples
  gg_taxonomy.txt         200,000 Greengenes-style reference lineages
  mapped_back_abundance.txt   refid TAB percentage for 30,000 of those ids, then unassigned
  otu_abundance.txt       100,000 OTUs TAB read count, then unassigned
  mapping_matrix.txt      100,000 rows OTU TAB refid:weight,refid:weight,...
  share_table.txt         100,000 rows taxon TAB count, then unassigned

Every file is a function of the seed, the scale and its version in FILES alone:
the same bytes on every run and every machine with Python 3. A file is
written to a temporary name and renamed when complete; files already made
with the same parameters (see DIR/manifest.json) are not made again.
Python standard library only.
"""

import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import time


CHUNK_LINES = 1 << 16

# ---------------------------------------------------------------------------
# Read IDs: Illumina MiSeq names with "_" for ":", as mothur writes them.
# Read i gets a unique tile/x/y from a bijection of the index, so IDs look
# scattered but never repeat, and the FASTA and classification files agree.

ID_PREFIX = "M03542_87_000000000-AYF2C_1_"
TILES = [f"{side}{tile:03d}" for side in (1, 2) for tile in range(101, 120)]
COORDS = 29000  # x and y run from 1000 to 29999
ID_SPACE = len(TILES) * COORDS * COORDS
ID_MULTIPLIER = 2654435761  # coprime with ID_SPACE: i -> i*A+B is a bijection
ID_OFFSET = 977_123_457


def read_id(i):
    j = (i * ID_MULTIPLIER + ID_OFFSET) % ID_SPACE
    tile = TILES[j % len(TILES)]
    j //= len(TILES)
    return f"{ID_PREFIX}{tile}_{j % COORDS + 1000}_{j // COORDS + 1000}"


# ---------------------------------------------------------------------------
# A made-up but plausible reference taxonomy: real phylum names, Latin-looking
# lower ranks with the right suffixes, a skewed number of children per taxon.

PHYLA_BACTERIA = [
    "Firmicutes", "Proteobacteria", "Actinobacteria", "Bacteroidetes", "Cyanobacteria",
    "Chloroflexi", "Spirochaetes", "Tenericutes", "Verrucomicrobia", "Planctomycetes",
    "Acidobacteria", "Deinococcus-Thermus", "Fusobacteria", "Synergistetes", "Nitrospira",
    "Aquificae", "Thermotogae", "Chlamydiae", "Lentisphaerae", "Elusimicrobia",
    "Fibrobacteres", "Armatimonadetes", "Deferribacteres", "Chlorobi", "Gemmatimonadetes",
    "Thermodesulfobacteria", "Caldiserica",
]
PHYLA_ARCHAEA = ["Euryarchaeota", "Crenarchaeota", "Thaumarchaeota"]

ONSETS = ["b", "c", "d", "f", "g", "l", "m", "n", "p", "r", "s", "t", "v", "x", "z", "th", "ch",
          "ph", "st", "tr", "cl", "pr", "sph", "str", "br", "fl", "gl", "cr", "sc", "h", "k"]
VOWELS = ["a", "e", "i", "o", "u", "a", "e", "i", "o", "ae", "io", "ia", "eu", "y"]
CODAS = ["", "", "", "", "n", "r", "s", "l", "c", "m", "x", "nt", "st"]

GENUS_SUFFIXES = ["bacter", "coccus", "bacterium", "monas", "ella", "ia", "spora", "vibrio",
                  "plasma", "myces", "spira", "sporangium", "ium", "ina", "ula", "opsis",
                  "bacillus", "thrix", "philus", "cella", "genium"]
CLASS_SUFFIXES = ["ia", "ia", "ia", "i", "ea", "ae"]
EPITHET_SUFFIXES = ["i", "ae", "us", "is", "ensis", "um", "ans", "icus", "ii", "a", "ophilus",
                    "iformis", "ogenes", "ens", "atus", "ica"]


def stem(rng, syllables):
    parts = []
    for n in range(syllables):
        parts.append(rng.choice(ONSETS))
        parts.append(rng.choice(VOWELS))
        if n == syllables - 1 or rng.random() < 0.25:
            parts.append(rng.choice(CODAS))
    return "".join(parts)


def unique_names(rng, count, make, taken):
    names = []
    while len(names) < count:
        name = make(rng)
        if name not in taken:
            taken.add(name)
            names.append(name)
    return names


def attach(rng, children, parents, parent_weights):
    """Parent index of each child: every parent gets one child, the rest go
    to parents in proportion to their (skewed) weights."""
    owner = list(range(parents))
    owner += rng.choices(range(parents), weights=parent_weights, k=children - parents)
    rng.shuffle(owner)
    return owner


class Tree:
    """Kingdom to species. Each species is a path of seven labels."""

    def __init__(self, seed, genera=600, species=1400):
        rng = random.Random(f"tree:{seed}")
        taken = set()
        cap = lambda s: s[0].upper() + s[1:]
        phyla = PHYLA_BACTERIA + PHYLA_ARCHAEA
        phylum_kingdom = [0] * len(PHYLA_BACTERIA) + [1] * len(PHYLA_ARCHAEA)
        kingdoms = ["Bacteria", "Archaea"]
        sizes = {"class": 70, "order": 150, "family": 300, "genus": genera}
        classes = unique_names(rng, sizes["class"],
                               lambda r: cap(stem(r, r.randint(2, 4))) + r.choice(CLASS_SUFFIXES), taken)
        orders = unique_names(rng, sizes["order"], lambda r: cap(stem(r, r.randint(2, 3))) + "ales", taken)
        families = unique_names(rng, sizes["family"], lambda r: cap(stem(r, r.randint(2, 3))) + "aceae", taken)
        genus_names = unique_names(rng, sizes["genus"],
                                   lambda r: cap(stem(r, r.randint(1, 3))) + r.choice(GENUS_SUFFIXES), taken)

        def skew(n):
            return [rng.lognormvariate(0, 1.2) for _ in range(n)]

        # The big phyla of a gut or soil sample come first in PHYLA_BACTERIA.
        phylum_weight = [1.0 / (1 + rank) ** 1.1 for rank in range(len(phyla))]
        class_phylum = attach(rng, len(classes), len(phyla), phylum_weight)
        order_class = attach(rng, len(orders), len(classes), skew(len(classes)))
        family_order = attach(rng, len(families), len(orders), skew(len(orders)))
        genus_family = attach(rng, len(genus_names), len(families), skew(len(families)))
        species_genus = attach(rng, species, len(genus_names), skew(len(genus_names)))

        epithets = []
        for _ in range(species):
            # The reference leaves the species empty when the organism name
            # gives none ("sp."): s__ with no name.
            epithets.append("" if rng.random() < 0.08 else stem(rng, rng.randint(1, 3)) + rng.choice(EPITHET_SUFFIXES))

        self.paths = []  # per species: [kingdom, phylum, class, order, family, genus, species]
        for s in range(species):
            g = species_genus[s]
            f = genus_family[g]
            o = family_order[f]
            c = order_class[o]
            p = class_phylum[c]
            self.paths.append([kingdoms[phylum_kingdom[p]], phyla[p], classes[c], orders[o],
                               families[f], genus_names[g], epithets[s]])
        self.genus_names = genus_names
        self.epithets = [e for e in epithets if e]


RANK_LETTERS = "kpcofgs"


# ---------------------------------------------------------------------------
# Classification file

def confidence_variants(rng, variants=4):
    """Per-rank confidences (k..s, then the OTU) of a read classified to the
    end: never below the cutoff 80, never rising down the ranks; most are 100."""
    result = [[100] * 8]
    for _ in range(variants - 1):
        values, value = [], 100
        for rank in range(8):
            if rank > 0 and rng.random() < 0.3:
                value = max(80, value - rng.randint(1, 8))
            values.append(value)
        result.append(values)
    return result


VARIANT_WEIGHTS = [0.6, 0.15, 0.15, 0.1]

# What a line holds: kind 0 reaches an OTU; kinds 1..6 stop at kingdom..genus
# with mothur's "<last taxon>_unclassified(conf)" filler; kinds 7..11 stop at
# phylum..genus with bare "unclassified" filler; kind 12 is an unplaced read.
KIND_OTU, KIND_UNKNOWN = 0, 12
KIND_WEIGHTS = [0.80,
                0.027, 0.008, 0.010, 0.015, 0.025, 0.105,  # new-style stop at k p c o f g
                0.001, 0.001, 0.001, 0.001, 0.001,          # bare markers after p c o f g
                0.005]
UNKNOWN_TAIL = "unknown;" + "unknown_unclassified(0);" * 7 + "\n"


def lineage_templates(path, confidences):
    """The text after the TAB for every kind of line (OTU lines: all but the
    OTU token), and the full-lineage key of each early stop."""
    labels = [f"{letter}__{name}" for letter, name in zip(RANK_LETTERS, path)]
    tokens = [f"{label}({conf});" for label, conf in zip(labels, confidences)]
    tails = [None] * 13
    tails[KIND_OTU] = "".join(tokens)
    keys = {}
    for stop in range(6):  # last accepted rank: kingdom .. genus
        filler = f"{labels[stop]}_unclassified({confidences[stop]});" * (7 - stop)
        tails[1 + stop] = "".join(tokens[:stop + 1]) + filler + "\n"
        keys[1 + stop] = "".join(label + ";" for label in labels[:stop + 1])
    for stop in range(1, 6):
        tails[6 + stop] = "".join(tokens[:stop + 1]) + "unclassified;" * (7 - stop) + "\n"
        keys[6 + stop] = keys[1 + stop]
    tails[KIND_UNKNOWN] = UNKNOWN_TAIL
    keys[KIND_UNKNOWN] = ""
    return tails, keys


def write_classification(path, seed, scale, distinct, tree):
    """distinct: "3k" (~2,000 OTUs plus the early-stop lineages) or "1m"
    (~1,000,000 OTU lineages)."""
    rng = random.Random(f"classification-{distinct}:{seed}")
    n_lines = max(1000, round(6_000_000 * scale))
    n_species = len(tree.paths)
    if distinct == "3k":
        n_otus, otu_space = 2100, 10_000
        otu_weight = [rng.lognormvariate(0, 1.8) for _ in range(n_otus)]
    else:
        # A huge reference: most OTUs are rare, so half of the reads are
        # spread evenly to reach ~1 million distinct lineages.
        n_otus = max(1000, round(1_100_000 * scale))
        otu_space = n_otus * 3 // 2
        skewed = [rng.lognormvariate(0, 1.8) for _ in range(n_otus)]
        total = sum(skewed)
        otu_weight = [0.5 / n_otus + 0.5 * w / total for w in skewed]
    otu_number = [f"u__{n}" for n in rng.sample(range(1, otu_space + 1), n_otus)]
    species_weight = [rng.lognormvariate(0, 1.0) for _ in range(n_species)]
    otu_species = rng.choices(range(n_species), weights=species_weight, k=n_otus)
    otu_cum = cumulative(otu_weight)

    # tails[species][variant][kind]; conf_close[species][variant] closes the OTU token.
    tails, conf_close, keys = [], [], []
    for s in range(n_species):
        per_variant, closes = [], []
        for confidences in confidence_variants(rng):
            t, k = lineage_templates(tree.paths[s], confidences)
            per_variant.append(t)
            closes.append(f"({confidences[7]});\n")
        tails.append(per_variant)
        conf_close.append(closes)
        keys.append(k)

    codes = [(kind, variant) for kind in range(13) for variant in range(4)]
    code_cum = cumulative([kw * vw for kw in KIND_WEIGHTS for vw in VARIANT_WEIGHTS])

    otus_seen = set()
    stop_keys_seen = set()
    block = 4096
    written = 0
    with open_output(path) as out:
        for start in range(0, n_lines, CHUNK_LINES):
            count = min(CHUNK_LINES, n_lines - start)
            otus = rng.choices(range(n_otus), cum_weights=otu_cum, k=count)
            kinds = rng.choices(codes, cum_weights=code_cum, k=count)
            # mothur's output is not in read order: shuffle within blocks.
            order = list(range(start, start + count))
            for b in range(0, count, block):
                part = order[b:b + block]
                rng.shuffle(part)
                order[b:b + block] = part
            lines = []
            append = lines.append
            for i, otu, (kind, variant) in zip(order, otus, kinds):
                s = otu_species[otu]
                if kind == KIND_OTU:
                    otus_seen.add(otu)
                    append(f"{read_id(i)}\t{tails[s][variant][0]}{otu_number[otu]}{conf_close[s][variant]}")
                else:
                    stop_keys_seen.add(keys[s][kind])
                    append(f"{read_id(i)}\t{tails[s][variant][kind]}")
            text = "".join(lines)
            out.write(text)
            written += len(text)
    return {"lines": n_lines, "bytes": written,
            "distinct_lineages": len(otus_seen) + len(stop_keys_seen)}


def cumulative(weights):
    total, result = 0.0, []
    for w in weights:
        total += w
        result.append(total)
    return result


# ---------------------------------------------------------------------------
# A count table of the reads of the classification files (both have the same
# read IDs), in the compressed form that mothur's count.seqs writes by
# default and in read order, as the FASTA file that count.seqs and the
# classifier read: each read stands for 1 to 8 reads, each of them in one of
# four samples at random.

COUNT_SAMPLES = ["gut_1", "gut_2", "soil_A", "soil_B"]


def write_count_table(path, seed, scale):
    rng = random.Random(f"count-table:{seed}")
    n_lines = max(1000, round(6_000_000 * scale))
    written = 0
    with open_output(path) as out:
        head = ("#Compressed Format: groupIndex,abundance. For example 1,6 would mean the read has an "
                f"abundance of 6 for group {COUNT_SAMPLES[0]}.\n"
                + "".join(f"#{i + 1},{name}\t" if i == 0 else f"{i + 1},{name}\t" for i, name in enumerate(COUNT_SAMPLES))
                + "\nRepresentative_Sequence\ttotal\t" + "\t".join(COUNT_SAMPLES) + "\n")
        out.write(head)
        written += len(head)
        samples = range(1, len(COUNT_SAMPLES) + 1)
        for start in range(0, n_lines, CHUNK_LINES):
            lines = []
            for i in range(start, min(start + CHUNK_LINES, n_lines)):
                picks = rng.choices(samples, k=rng.randint(1, 8))
                counts = "\t".join(f"{sample},{picks.count(sample)}" for sample in samples if sample in picks)
                lines.append(f"{read_id(i)}\t{len(picks)}\t{counts}\n")
            text = "".join(lines)
            out.write(text)
            written += len(text)
    return {"lines": n_lines + 3, "bytes": written}


# ---------------------------------------------------------------------------
# FASTA of the reads: the first reads of the classification file's run.

def write_fasta(path, seed, scale):
    rng = random.Random(f"fasta:{seed}")
    n_records = max(1000, round(3_350_000 * scale))
    bases = rng.randbytes(1 << 21).translate(bytes(b"ACGT"[b & 3] for b in range(256))).decode()
    pool = len(bases) - 300
    barcodes = ["".join(rng.choice("ACGT") for _ in range(8)) for _ in range(24)]
    # Header style: description or none; sequence on one line, or wrapped at 60 or 80.
    styles = [(desc, wrap) for desc in (True, False) for wrap in (0, 60, 80)]
    style_cum = cumulative([d * w for d in (0.85, 0.15) for w in (0.70, 0.15, 0.15)])
    lengths = list(range(240, 261))
    length_cum = cumulative([8.0 if n == 253 else 1.0 for n in lengths])
    written = 0
    with open_output(path) as out:
        for start in range(0, n_records, CHUNK_LINES):
            count = min(CHUNK_LINES, n_records - start)
            chosen = rng.choices(styles, cum_weights=style_cum, k=count)
            sizes = rng.choices(lengths, cum_weights=length_cum, k=count)
            parts = []
            append = parts.append
            random_ = rng.random
            for i, (desc, wrap), size in zip(range(start, start + count), chosen, sizes):
                offset = int(random_() * pool)
                sequence = bases[offset:offset + size]
                if wrap:
                    sequence = "\n".join(sequence[k:k + wrap] for k in range(0, size, wrap))
                if desc:
                    append(f">{read_id(i)} 1:N:0:{barcodes[i % 24]}\n{sequence}\n")
                else:
                    append(f">{read_id(i)}\n{sequence}\n")
            text = "".join(parts)
            out.write(text)
            written += len(text)
    return {"records": n_records, "bytes": written}


# ---------------------------------------------------------------------------
# Greengenes-style taxonomy and the tables of the map-back programs.

def reference_ids(seed, scale):
    """The reference ids of the Greengenes-style taxonomy, in file order
    (cluster creation order, not numeric order)."""
    rng = random.Random(f"refids:{seed}")
    n = max(1000, round(200_000 * scale))
    return rng.sample(range(1, 4_480_000), n)


def write_gg_taxonomy(path, seed, scale, tree):
    rng = random.Random(f"gg:{seed}")
    ids = reference_ids(seed, scale)
    weights = [rng.lognormvariate(0, 1.0) for _ in tree.paths]
    species = rng.choices(range(len(tree.paths)), weights=weights, k=len(ids))
    lines = []
    for refid, s in zip(ids, species):
        names = list(tree.paths[s])
        roll = rng.random()
        if roll < 0.05:
            names[5] = names[6] = ""            # g__;s__
        elif roll < 0.30:
            names[6] = ""                       # s__
        ranks = 7 if rng.random() > 0.01 else rng.randint(2, 4)  # a few stop early
        lineage = ";".join(f"{letter}__{name}" for letter, name in zip(RANK_LETTERS[:ranks], names))
        lines.append(f"{refid}\t{lineage}\n")
    return write_text(path, lines, len(ids))


def percent_text(value):
    return f"{value:g}"


def write_mapped_back(path, seed, scale):
    """refspread's otu_reflowMANY.txt form: refid TAB percentage in numeric id
    order, then unassigned."""
    rng = random.Random(f"mapped:{seed}")
    ids = reference_ids(seed, scale)
    n = max(100, round(30_000 * scale))
    chosen = rng.sample(ids, n - n // 100)
    # A few ids of other references, absent from the taxonomy.
    absent = set(ids)
    while len(chosen) < n:
        candidate = rng.randrange(4_480_000, 4_600_000)
        if candidate not in absent:
            absent.add(candidate)
            chosen.append(candidate)
    chosen.sort()
    values = [rng.lognormvariate(0, 2.0) for _ in chosen]
    unassigned = 0.12 * sum(values)
    total = sum(values) + unassigned
    lines = [f"{refid}\t{percent_text(100 * v / total)}\n" for refid, v in zip(chosen, values)]
    lines.append(f"unassigned\t{percent_text(100 * unassigned / total)}\n")
    return write_text(path, lines, len(lines))


def otu_names(seed, scale):
    rng = random.Random(f"otunames:{seed}")
    n = max(1000, round(100_000 * scale))
    return sorted(rng.sample(range(1, n * 3 // 2), n))


def write_otu_abundance(path, seed, scale):
    """readtally's otu.txt form: OTU TAB reads in byte order, then unassigned."""
    rng = random.Random(f"otutable:{seed}")
    names = sorted(str(n) for n in otu_names(seed, scale))
    lines = [f"{name}\t{max(1, int(rng.lognormvariate(2.5, 1.8)))}\n" for name in names]
    lines.append(f"unassigned\t{rng.randint(10_000, 100_000)}\n")
    return write_text(path, lines, len(lines))


MATRIX_ROW_SIZES = [1, 2, 3, 4, 5, 6, 8, 10, 12, 16, 20, 25]
MATRIX_ROW_WEIGHTS = [46, 19, 7, 7, 3, 4, 3, 3, 2, 3, 2, 1]


def write_mapping_matrix(path, seed, scale):
    """OTU TAB refid:weight,... with weights in decreasing order, six
    significant digits, adding up to 1 within rounding."""
    rng = random.Random(f"matrix:{seed}")
    refids = reference_ids(seed, scale)
    names = otu_names(seed, scale)
    # Most OTUs of the table have a row; a few rows are for OTUs not in it.
    rows = [n for n in names if rng.random() > 0.02]
    extra = len(names) - len(rows)
    top = names[-1]
    rows += list(range(top + 1, top + 1 + extra))
    sizes = rng.choices(MATRIX_ROW_SIZES, weights=MATRIX_ROW_WEIGHTS, k=len(rows))
    lines = []
    for name, size in zip(rows, sizes):
        shares = sorted((rng.lognormvariate(0, 1.3) for _ in range(size)), reverse=True)
        total = sum(shares)
        targets = rng.sample(refids, size)
        entries = ",".join(f"{refid}:{share / total:g}" for refid, share in zip(targets, shares))
        lines.append(f"{name}\t{entries}\n")
    return write_text(path, lines, len(lines))


def write_share_table(path, seed, scale, tree):
    """A rank table such as species.txt: taxon TAB reads in byte order, then
    unassigned."""
    rng = random.Random(f"share:{seed}")
    n = max(1000, round(100_000 * scale))
    keys = set()
    while len(keys) < n:
        keys.add(f"{rng.choice(tree.genus_names)} {rng.choice(tree.epithets)}")
    ordered = sorted(keys, key=lambda k: k.encode())
    lines = [f"{key}\t{max(1, int(rng.lognormvariate(3, 2)))}\n" for key in ordered]
    lines.append(f"unassigned\t{rng.randint(1000, 100_000)}\n")
    return write_text(path, lines, len(lines))


# ---------------------------------------------------------------------------
# Output plumbing

class open_output:
    """A file written under a temporary name and renamed when complete."""

    def __init__(self, path):
        self.path = path
        self.temp = path + ".partial"

    def __enter__(self):
        self.file = open(self.temp, "w", encoding="ascii", newline="", buffering=1 << 22)
        return self.file

    def __exit__(self, kind, value, trace):
        self.file.close()
        if kind is None:
            os.replace(self.temp, self.path)
        else:
            os.unlink(self.temp)
        return False


def write_text(path, lines, count):
    text = "".join(lines)
    with open_output(path) as out:
        out.write(text)
    return {"lines": count, "bytes": len(text)}


def write_gzip_of(path, seed, scale, tree):
    """The gzip file of the input beside it (its name without .gz), as pigz
    or gzip writes it at the default level."""
    tool = shutil.which("pigz") or shutil.which("gzip")
    with open(path[:-3], "rb") as source, open(path, "wb") as target:
        subprocess.run([tool, "-c"], stdin=source, stdout=target, check=True)
    return {"bytes": os.path.getsize(path)}


FILES = {
    # name: (version, function, rough size in bytes at scale 1). Bump a file's
    # version when its generator's output changes, so that old data is remade.
    "reads.wang.taxonomy": (2, lambda p, seed, scale, tree: write_classification(p, seed, scale, "3k", tree), 1.3e9),
    "reads.1m.wang.taxonomy": (2, lambda p, seed, scale, tree: write_classification(p, seed, scale, "1m", tree), 1.3e9),
    "reads.fasta": (2, lambda p, seed, scale, tree: write_fasta(p, seed, scale), 1.1e9),
    "reads.count_table": (1, lambda p, seed, scale, tree: write_count_table(p, seed, scale), 4e8),
    "gg_taxonomy.txt": (2, write_gg_taxonomy, 3e7),
    "mapped_back_abundance.txt": (2, lambda p, seed, scale, tree: write_mapped_back(p, seed, scale), 1e6),
    "otu_abundance.txt": (2, lambda p, seed, scale, tree: write_otu_abundance(p, seed, scale), 2e6),
    "mapping_matrix.txt": (2, lambda p, seed, scale, tree: write_mapping_matrix(p, seed, scale), 1e7),
    "share_table.txt": (3, write_share_table, 3e6),
    "reads.wang.taxonomy.gz": (1, write_gzip_of, 2.5e8),
    "reads.fasta.gz": (1, write_gzip_of, 3e8),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", required=True, help="folder for the generated files (outside the repo)")
    parser.add_argument("--scale", type=float, default=1.0, help="size factor (1 = the full benchmark)")
    parser.add_argument("--seed", type=int, default=1, help="random seed")
    parser.add_argument("--only", nargs="*", choices=sorted(FILES), help="make only these files")
    parser.add_argument("--force", action="store_true", help="remake files even when up to date")
    args = parser.parse_args()

    os.makedirs(args.out, exist_ok=True)
    manifest_path = os.path.join(args.out, "manifest.json")
    try:
        with open(manifest_path) as f:
            manifest = json.load(f)
    except (OSError, ValueError):
        manifest = {}
    params_of = lambda name: {"version": FILES[name][0], "seed": args.seed, "scale": args.scale}

    wanted = args.only or list(FILES)
    todo = []
    for name in wanted:
        path = os.path.join(args.out, name)
        known = manifest.get(name)
        up_to_date = (known is not None and known.get("params") == params_of(name) and os.path.exists(path)
                      and os.path.getsize(path) == known.get("bytes"))
        if up_to_date and not args.force:
            print(f"  {name}: up to date", file=sys.stderr)
        else:
            todo.append(name)
    if not todo:
        return 0

    need = sum(FILES[name][2] for name in todo) * args.scale + 1e9
    free = shutil.disk_usage(args.out).free
    if free < need:
        print(f"generate.py: {args.out} has {free / 1e9:.1f} GB free, {need / 1e9:.1f} GB needed", file=sys.stderr)
        return 1

    tree = Tree(args.seed)
    for name in todo:
        path = os.path.join(args.out, name)
        started = time.monotonic()
        print(f"  {name}: generating ...", file=sys.stderr, flush=True)
        facts = FILES[name][1](path, args.seed, args.scale, tree)
        facts["params"] = params_of(name)
        facts["seconds"] = round(time.monotonic() - started, 1)
        manifest[name] = facts
        # Rewritten after every file, so that an interrupted run keeps what it made.
        with open(manifest_path + ".partial", "w") as f:
            json.dump(manifest, f, indent=1, sort_keys=True)
        os.replace(manifest_path + ".partial", manifest_path)
        shown = {k: v for k, v in facts.items() if k != "params"}
        print(f"  {name}: {shown}", file=sys.stderr, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
