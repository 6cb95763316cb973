// A scripted model on 127.0.0.1 that speaks the wire formats the agents use: the Messages API (Claude Code),
// the Responses API (Codex), OpenAI-style chat completions (OpenCode's custom provider, Qwen Code) and the
// Gemini API (Gemini CLI). The conversation itself says which step comes next (how many tool results it
// already holds), so retries and side requests never shift the script. Each request's body is kept for
// inspection when a test fails.
import http from "node:http";

// A turn is { text?: string, tool?: { name, input }, delayMs?: number }. The last turn of a script should be
// prose only. A delay stands for the model's thinking time, so that the app's paced steps can be seen.
export class FakeModelServer {
  constructor(turns) {
    this.turns = turns;
    this.requests = [];
    this.server = http.createServer((request, response) => this.#handle(request, response));
  }

  async start() {
    await new Promise((resolve) => this.server.listen(0, "127.0.0.1", resolve));
    return this.url;
  }

  get url() {
    return `http://127.0.0.1:${this.server.address().port}`;
  }

  async stop() {
    this.server.closeAllConnections();
    await new Promise((resolve) => this.server.close(resolve));
  }

  // Main-loop requests seen so far, as the step each one was answered with.
  get answeredSteps() {
    return this.requests.filter((r) => r.step !== undefined).map((r) => r.step);
  }

  #handle(request, response) {
    let body = "";
    request.setEncoding("utf8");
    request.on("data", (chunk) => (body += chunk));
    request.on("end", () => {
      let json = {};
      try {
        json = body ? JSON.parse(body) : {};
      } catch {
        // Answered below as a side request.
      }
      const path = request.url.split("?")[0];
      if (request.method === "POST" && path.endsWith("/messages/count_tokens")) {
        this.requests.push({ path });
        return sendJson(response, { input_tokens: 100 });
      }
      if (request.method === "POST" && path.endsWith("/messages")) return this.#answer(json, path, response, "messages");
      if (request.method === "POST" && path.endsWith("/chat/completions")) return this.#answer(json, path, response, "chat");
      if (request.method === "POST" && path.endsWith("/responses")) return this.#answer(json, path, response, "responses");
      if (request.method === "POST" && path.endsWith(":countTokens")) {
        this.requests.push({ path });
        return sendJson(response, { totalTokens: 100 });
      }
      if (request.method === "POST" && /:(stream)?generateContent$/i.test(path)) return this.#answer(json, path, response, "gemini");
      this.requests.push({ path, method: request.method });
      response.writeHead(404, { "content-type": "application/json" });
      response.end(JSON.stringify({ error: { type: "not_found", message: "fake model server" } }));
    });
  }

  // Main-loop requests carry the agent's shell tool; title and other side requests get a short reply.
  #answer(json, path, response, format) {
    const wire = wires[format];
    let step;
    let turn = { text: wire.sideReply };
    if (toolNames(json).some((name) => wire.shellTools.includes(name))) {
      step = wire.toolResults(json);
      turn = this.turns[Math.min(step, this.turns.length - 1)];
    }
    this.requests.push({ path, step, model: json.model, body: json });
    const write = () => {
      if (format === "messages") this.#messages(json, turn, step, response);
      else if (format === "chat") this.#chat(json, turn, step, response);
      else if (format === "responses") this.#responses(json, turn, step, response);
      else this.#gemini(path, turn, response);
    };
    if (turn.delayMs) setTimeout(write, turn.delayMs);
    else write();
  }

  #messages(json, turn, step, response) {
    const id = `msg_fake_${this.requests.length}`;
    const blocks = [];
    if (turn.text) blocks.push({ type: "text", text: turn.text });
    if (turn.tool) blocks.push({ type: "tool_use", id: `toolu_fake_${step}`, name: turn.tool.name, input: turn.tool.input });
    const stopReason = turn.tool ? "tool_use" : "end_turn";
    const usage = { input_tokens: 50, output_tokens: 20, cache_creation_input_tokens: 0, cache_read_input_tokens: 0 };
    if (!json.stream) {
      return sendJson(response, {
        id, type: "message", role: "assistant", model: json.model, content: blocks,
        stop_reason: stopReason, stop_sequence: null, usage,
      });
    }
    response.writeHead(200, { "content-type": "text/event-stream", "cache-control": "no-cache" });
    const event = (name, data) => response.write(`event: ${name}\ndata: ${JSON.stringify({ type: name, ...data })}\n\n`);
    event("message_start", {
      message: { id, type: "message", role: "assistant", model: json.model, content: [], stop_reason: null, stop_sequence: null, usage },
    });
    blocks.forEach((block, index) => {
      if (block.type === "text") {
        event("content_block_start", { index, content_block: { type: "text", text: "" } });
        event("content_block_delta", { index, delta: { type: "text_delta", text: block.text } });
      } else {
        event("content_block_start", { index, content_block: { type: "tool_use", id: block.id, name: block.name, input: {} } });
        event("content_block_delta", { index, delta: { type: "input_json_delta", partial_json: JSON.stringify(block.input) } });
      }
      event("content_block_stop", { index });
    });
    event("message_delta", { delta: { stop_reason: stopReason, stop_sequence: null }, usage: { output_tokens: 20 } });
    event("message_stop", {});
    response.end();
  }

  #chat(json, turn, step, response) {
    const id = `chatcmpl-fake-${this.requests.length}`;
    const chunk = (delta, finish = null) =>
      response.write(`data: ${JSON.stringify({
        id, object: "chat.completion.chunk", created: 0, model: json.model,
        choices: [{ index: 0, delta, finish_reason: finish }],
      })}\n\n`);
    const finish = turn.tool ? "tool_calls" : "stop";
    const usage = { prompt_tokens: 50, completion_tokens: 20, total_tokens: 70 };
    if (!json.stream) {
      const message = { role: "assistant", content: turn.text ?? null };
      if (turn.tool) message.tool_calls = [openAiCall(turn.tool, step)];
      return sendJson(response, { id, object: "chat.completion", created: 0, model: json.model, choices: [{ index: 0, message, finish_reason: finish }], usage });
    }
    response.writeHead(200, { "content-type": "text/event-stream", "cache-control": "no-cache" });
    chunk({ role: "assistant", content: "" });
    if (turn.text) chunk({ content: turn.text });
    if (turn.tool) chunk({ tool_calls: [{ index: 0, ...openAiCall(turn.tool, step) }] });
    chunk({}, finish);
    response.write(`data: ${JSON.stringify({ id, object: "chat.completion.chunk", created: 0, model: json.model, choices: [], usage })}\n\n`);
    response.write("data: [DONE]\n\n");
    response.end();
  }

  #responses(json, turn, step, response) {
    const id = `resp_fake_${this.requests.length}`;
    const items = [];
    if (turn.text) {
      items.push({ type: "message", id: `msg_fake_${step}`, role: "assistant", status: "completed",
        content: [{ type: "output_text", text: turn.text, annotations: [] }] });
    }
    if (turn.tool) {
      items.push({ type: "function_call", id: `fc_fake_${step}`, call_id: `call_fake_${step}`, status: "completed",
        name: turn.tool.name, arguments: JSON.stringify(turn.tool.input) });
    }
    const usage = { input_tokens: 50, input_tokens_details: { cached_tokens: 0 }, output_tokens: 20,
      output_tokens_details: { reasoning_tokens: 0 }, total_tokens: 70 };
    response.writeHead(200, { "content-type": "text/event-stream", "cache-control": "no-cache" });
    let sequence = 0;
    const event = (type, data) =>
      response.write(`event: ${type}\ndata: ${JSON.stringify({ type, sequence_number: sequence++, ...data })}\n\n`);
    event("response.created", { response: { id, object: "response", status: "in_progress", model: json.model, output: [] } });
    items.forEach((item, output_index) => {
      event("response.output_item.added", { output_index, item: { ...item, status: "in_progress" } });
      if (item.type === "message")
        event("response.output_text.delta", { item_id: item.id, output_index, content_index: 0, delta: turn.text });
      event("response.output_item.done", { output_index, item });
    });
    event("response.completed", { response: { id, object: "response", status: "completed", model: json.model, output: items, usage } });
    response.end();
  }

  #gemini(path, turn, response) {
    const parts = [];
    if (turn.text) parts.push({ text: turn.text });
    if (turn.tool) parts.push({ functionCall: { name: turn.tool.name, args: turn.tool.input } });
    const chunk = {
      candidates: [{ content: { role: "model", parts }, finishReason: "STOP", index: 0 }],
      usageMetadata: { promptTokenCount: 50, candidatesTokenCount: 20, totalTokenCount: 70 },
      modelVersion: "fake-model",
    };
    if (!path.includes(":stream")) return sendJson(response, chunk);
    response.writeHead(200, { "content-type": "text/event-stream", "cache-control": "no-cache" });
    response.write(`data: ${JSON.stringify(chunk)}\r\n\r\n`);
    response.end();
  }
}

// How each wire format's agents name their shell tool (which marks a main-loop request), counts the tool results
// already in the conversation, and answers side requests such as title generation.
const wires = {
  messages: { shellTools: ["Bash"], toolResults: (json) => countAnthropicToolResults(json.messages), sideReply: "Scripted reply." },
  chat: { shellTools: ["bash", "Bash", "run_shell_command", "run_commands"], toolResults: (json) => countChatToolResults(json.messages), sideReply: "Scripted session" },
  responses: {
    shellTools: ["shell", "exec_command", "shell_command"],
    toolResults: (json) => (Array.isArray(json.input) ? json.input.filter((i) => i.type === "function_call_output").length : 0),
    sideReply: "Scripted reply.",
  },
  gemini: {
    shellTools: ["run_shell_command"],
    toolResults: (json) => (json.contents || []).flatMap((c) => c.parts || []).filter((p) => p.functionResponse).length,
    sideReply: "Scripted reply.",
  },
};

function toolNames(json) {
  if (!Array.isArray(json.tools)) return [];
  return json.tools.flatMap((t) => (t.functionDeclarations ? t.functionDeclarations.map((f) => f.name) : [t.name ?? t.function?.name]));
}

function countChatToolResults(messages) {
  return (messages || []).filter((m) => m.role === "tool").length;
}

function countAnthropicToolResults(messages) {
  let count = 0;
  for (const message of messages || []) {
    if (message.role !== "user" || !Array.isArray(message.content)) continue;
    count += message.content.filter((block) => block.type === "tool_result").length;
  }
  return count;
}

function openAiCall(tool, step) {
  return { id: `call_fake_${step}`, type: "function", function: { name: tool.name, arguments: JSON.stringify(tool.input) } };
}

function sendJson(response, value) {
  response.writeHead(200, { "content-type": "application/json" });
  response.end(JSON.stringify(value));
}
