// Builds the page into DIST, beside the WebAssembly core that emcc has put there: the page's
// scripts bundled with CodeMirror, its HTML and styles, the module, the examples taken from the
// Minuet and the input-language reference, the references themselves as HTML pages, and the
// package.json that `npm pack DIST` packs.
// Usage: node build.mjs DIST VERSION
import { copyFile, readFile, writeFile } from 'node:fs/promises';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import * as esbuild from 'esbuild';
import { Marked } from 'marked';

const [dist, version] = process.argv.slice(2);
if (!dist || !version) throw new Error('usage: node build.mjs DIST VERSION');
const web = fileURLToPath(new URL('.', import.meta.url));
const repo = join(web, '..');

await esbuild.build({
  entryPoints: [join(web, 'app.js'), join(web, 'worker.js')],
  outdir: dist,
  bundle: true,
  format: 'esm',
  target: 'es2022',
  minify: true,
  legalComments: 'none',
  // The module is a file of its own: the page loads the very one that other tools use.
  external: ['./pn2tavix.mjs'],
  logLevel: 'warning',
});

for (const file of ['index.html', 'style.css', 'docs.css', 'pn2tavix.mjs']) {
  await copyFile(join(web, file), join(dist, file));
}

// The examples: the Minuet, then the reference's examples whose titles are listed here.
const fromReference = [
  ['Round', 'Two voices'],
  ['Clefs', 'The four clefs'],
  ['Dots', "Dots and 'x'"],
  ['Repeats', "Repeats with ','"],
  ['Da capo', 'Measures repeated with copy'],
  ['Run together', 'An error: a note run into a measure number'],
];
const reference = await readFile(join(repo, 'docs/input-language.md'), 'utf8');
const inputs = [...reference.matchAll(/^```input\n([\s\S]*?)^```$/gm)].map((m) => m[1]);
const examples = [
  { name: 'Minuet', text: await readFile(join(repo, 'examples/minuet.pdp1'), 'utf8') },
  ...fromReference.map(([title, name]) => {
    const text = inputs.find((input) => input.startsWith(`${title}/`));
    if (!text) throw new Error(`docs/input-language.md has no example titled "${title}"`);
    return { name, text };
  }),
];
await writeFile(join(dist, 'examples.json'), JSON.stringify(examples, null, 1));

// The references, each an HTML page of its own with the page's colours; their headings get
// the anchors that the documents' own links use, and links between them lead to the pages.
function slugger() {
  const seen = new Map();
  return (text) => {
    const base = text
      .toLowerCase()
      .replace(/<[^>]*>|&[^;]*;/g, '')
      .replace(/[^\p{L}\p{N} _-]/gu, '')
      .replace(/ /g, '-');
    const n = seen.get(base) ?? 0;
    seen.set(base, n + 1);
    return n === 0 ? base : `${base}-${n}`;
  };
}
const references = ['input-language', 'output-format'];
for (const name of references) {
  const slug = slugger();
  const marked = new Marked({
    renderer: {
      heading({ tokens, depth }) {
        const inner = this.parser.parseInline(tokens);
        return `<h${depth} id="${slug(inner)}">${inner}</h${depth}>\n`;
      },
      link({ href, tokens }) {
        const to = href.replace(/^([a-z-]+)\.md(#|$)/, (all, doc, rest) =>
          references.includes(doc) ? `${doc}.html${rest}` : all,
        );
        return `<a href="${to}">${this.parser.parseInline(tokens)}</a>`;
      },
    },
  });
  const markdown = await readFile(join(repo, `docs/${name}.md`), 'utf8');
  const title = /^# (.*)$/m.exec(markdown)[1];
  const body = marked.parse(markdown);
  const page = `<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'self'; img-src 'self' data:; base-uri 'none'; form-action 'none'">
<meta name="referrer" content="no-referrer">
<title>pn2tavix: ${title.replace(/[<&]/g, (c) => (c === '<' ? '&lt;' : '&amp;'))}</title>
<link rel="stylesheet" href="style.css">
<link rel="stylesheet" href="docs.css">
<link rel="icon" href="data:,">
</head>
<body class="doc">
<main>
${body}</main>
</body>
</html>
`;
  await writeFile(join(dist, `${name}.html`), page);
}

// What `npm pack` takes from DIST: the module alone, not the page.
const module = {
  name: 'pn2tavix',
  version,
  description: 'Converts PDP-1 music files to tavix text: the pn2tavix converter in WebAssembly',
  license: 'MIT',
  type: 'module',
  exports: { '.': './pn2tavix.mjs', './pn2tavix-core.wasm': './pn2tavix-core.wasm' },
  files: ['pn2tavix.mjs', 'pn2tavix-core.mjs', 'pn2tavix-core.wasm', 'README.md'],
  engines: { node: '>=20' },
};
await writeFile(join(dist, 'package.json'), `${JSON.stringify(module, null, 2)}\n`);
await copyFile(join(repo, 'docs/web.md'), join(dist, 'README.md'));
